#!/usr/bin/env bash
# The remembered login with a desktop keyring: keyring_e2e.sh PROGRAM runs the
# client's keyring-* scenarios of account_e2e, each a new start in one
# throw-away home, inside a D-Bus session of its own with an unlocked
# gnome-keyring-daemon (secrets only), and checks the keyring with
# secret-tool in between. Exits 77 (skipped) only when the daemon cannot start.
set -euo pipefail
prog=$1
service="Tarnwick Desktop"

if [ -z "${TARNWICK_KEYRING_BUS:-}" ]; then
  for tool in dbus-run-session gnome-keyring-daemon secret-tool dbus-send; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  TARNWICK_KEYRING_BUS=1 exec dbus-run-session -- "$0" "$@"
fi

home=$(mktemp -d)
daemon=""
cleanup() {
  [ -n "$daemon" ] && kill "$daemon" 2>/dev/null && wait "$daemon" 2>/dev/null
  rm -rf "$home"
}
trap cleanup EXIT
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_RUNTIME_DIR=$home/run
mkdir -p "$home/Documents" && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID KDE_FULL_SESSION

# The daemon in the foreground of a background job, so its pid is ours to end.
printf 'keyring-test-password' |
  gnome-keyring-daemon --foreground --unlock --components=secrets >"$home/daemon.log" 2>&1 &
daemon=$!
for i in $(seq 100); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true && break
  if [ "$i" = 100 ] || ! kill -0 "$daemon" 2>/dev/null; then
    echo "SKIP: gnome-keyring-daemon did not start:"; cat "$home/daemon.log"; exit 77
  fi
  sleep 0.1
done

step() { echo "== client: $1"; "$prog" "$1"; }
fail() { echo "FAIL: $*"; exit 1; }
lookup() { timeout 20 secret-tool lookup server "$service" user demo 2>/dev/null || true; }

# A ticked login: the keyring holds the password (schema and attributes as
# src/app/keyring_names.h names them), the file the account alone.
step keyring-remember
[ "$(lookup)" = demo123 ] || fail "keyring does not hold the password after a ticked login"
timeout 20 secret-tool search --all xdg:schema org.qt.keychain server "$service" user demo 2>&1 |
  grep -qx "attribute.type = plaintext" || fail "no keyring entry of the schema and attributes of keyring_names.h"
# Next start: both boxes filled; unticked, the login forgets file and entry.
step keyring-untick
[ -z "$(lookup)" ] || fail "keyring entry left behind after an unticked login"
# A file of an earlier version with the password in it moves to the keyring.
printf '[帐号密码]\r\n存储=demo切割demo123\r\n' | iconv -f UTF-8 -t GBK >"$home/Documents/配置2.iniat"
chmod 600 "$home/Documents/配置2.iniat"
step keyring-restart
[ "$(lookup)" = demo123 ] || fail "the old file's password did not move to the keyring"
echo "keyring scenarios passed"
