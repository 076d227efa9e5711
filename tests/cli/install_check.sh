#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what landed where
# the conventions put it: both programs in bin/ answering --version, the
# desktop entry valid with its icon in the hicolor theme and its AppStream
# metadata valid beside it, the manual pages rendering and naming every
# sub-command, the bash, zsh and fish completions in the shells' folders.
set -euo pipefail
build=$1
dest=$(mktemp -d /tmp/tarnwick-install.XXXXXX)
trap 'rm -rf "$dest"' EXIT
fail() { echo "$*"; exit 1; }
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
for f in usr/bin/tarnwick usr/bin/tarnwick-cli usr/share/applications/tarnwick.desktop \
         usr/share/icons/hicolor/scalable/apps/tarnwick.svg \
         usr/share/metainfo/com.tarnwick.Desktop.metainfo.xml \
         usr/share/man/man1/tarnwick.1 usr/share/man/man1/tarnwick-cli.1 \
         usr/share/bash-completion/completions/tarnwick-cli \
         usr/share/zsh/vendor-completions/_tarnwick-cli \
         usr/share/fish/vendor_completions.d/tarnwick-cli.fish; do
  [ -f "$dest/$f" ] || fail "not installed: $f"
done
cli=$dest/usr/bin/tarnwick-cli
"$cli" --help | grep -q 'login' || fail "installed tarnwick-cli --help failed"
version=$(sed -n 's/^project(tarnwick VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
[ "$("$cli" --version | head -1)" = "tarnwick-cli $version" ] || fail "tarnwick-cli --version: $("$cli" --version)"
# The windows program answers before it would open a display.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=none "$dest/usr/bin/tarnwick" --version | head -1)" = \
  "tarnwick $version" ] || fail "tarnwick --version failed"

desktop-file-validate "$dest/usr/share/applications/tarnwick.desktop"
icon=$(sed -n 's/^Icon=//p' "$dest/usr/share/applications/tarnwick.desktop")
[ -f "$dest/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon named $icon"
metainfo=$dest/usr/share/metainfo/com.tarnwick.Desktop.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$dest/appstream.out" 2>&1 || { cat "$dest/appstream.out"; fail "metadata invalid"; }
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ -f "$dest/usr/share/applications/$launchable" ] || fail "metadata launches $launchable, which is not installed"

# Every sub-command the program takes (from its --help) is in its manual page.
export MANWIDTH=100 LC_ALL=C.UTF-8
page=$(man -l "$dest/usr/share/man/man1/tarnwick-cli.1" 2>&1)
commands=$("$cli" --help | awk '/^Subcommands:/ { on = 1; next } on && !NF { exit } on { print $1 }')
[ -n "$commands" ] || fail "no sub-commands in tarnwick-cli --help"
for c in $commands; do
  grep -qE "^   $c( |$)" <<<"$page" || fail "tarnwick-cli(1) lacks the sub-command $c"
done
for section in 'EXIT STATUS' ENVIRONMENT FILES TARNWICK_SERVICE -- --quiet --log-level; do
  grep -q -- "$section" <<<"$page" || fail "tarnwick-cli(1) lacks $section"
done
gui=$(man -l "$dest/usr/share/man/man1/tarnwick.1" 2>&1)
for word in NAME --version --log-level tarnwick.log; do
  grep -q -- "$word" <<<"$gui" || fail "tarnwick(1) lacks $word"
done

# The installed completions name the programs they complete.
grep -q 'complete -F _tarnwick_cli tarnwick-cli' "$dest/usr/share/bash-completion/completions/tarnwick-cli"
head -1 "$dest/usr/share/zsh/vendor-completions/_tarnwick-cli" | grep -qx '#compdef tarnwick-cli'
grep -q '^complete -c tarnwick-cli ' "$dest/usr/share/fish/vendor_completions.d/tarnwick-cli.fish"
echo "installed and checked under $dest"
