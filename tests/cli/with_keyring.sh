#!/usr/bin/env bash
# Runs a command inside a private D-Bus session with a fresh, unlocked
# gnome-keyring (Secret Service) of its own, in a temporary home.
set -euo pipefail
home=$(mktemp -d /tmp/tarnwick-keyring.XXXXXX)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_DATA_HOME=$home/.local/share XDG_RUNTIME_DIR=$home/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
exec dbus-run-session -- bash -c '
  printf "keyring-test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  TARNWICK_TEST_KEYRING=1 exec "$@"' keyring "$@"
