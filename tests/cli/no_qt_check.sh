#!/usr/bin/env bash
# tarnwick-cli stands on the core alone: no Qt library among what it loads,
# and no Qt folder on the include path of its sources.
set -euo pipefail
program=$1 commands=$2
if ldd "$program" | grep -i 'libQt'; then
  echo "tarnwick-cli loads Qt"; exit 1
fi
readelf -d "$program" | grep -q 'NEEDED' || { echo "readelf found no NEEDED entries"; exit 1; }
# compile_commands.json: one "command" line per source, naming it.
lines=$(grep '"command"' "$commands" | grep '/src/cli/' || true)
[ -n "$lines" ] || { echo "no compile commands for src/cli/ in $commands"; exit 1; }
if echo "$lines" | grep -i -E -- '-(I|isystem) *[^ ]*qt'; then
  echo "Qt is on the include path of tarnwick-cli"; exit 1
fi
echo "tarnwick-cli: no Qt"
