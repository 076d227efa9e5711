#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what landed: both
# programs in bin/, the installed tarnwick-cli answering --help, the desktop
# entry valid and its icon in the hicolor theme.
set -euo pipefail
build=$1
dest=$(mktemp -d /tmp/tarnwick-install.XXXXXX)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
for f in usr/bin/tarnwick usr/bin/tarnwick-cli usr/share/applications/tarnwick.desktop \
         usr/share/icons/hicolor/scalable/apps/tarnwick.svg; do
  [ -f "$dest/$f" ] || { echo "not installed: $f"; exit 1; }
done
"$dest/usr/bin/tarnwick-cli" --help | grep -q 'login' || { echo "installed tarnwick-cli --help failed"; exit 1; }
desktop-file-validate "$dest/usr/share/applications/tarnwick.desktop"
icon=$(sed -n 's/^Icon=//p' "$dest/usr/share/applications/tarnwick.desktop")
[ -f "$dest/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || { echo "no icon named $icon"; exit 1; }
echo "installed and checked under $dest"
