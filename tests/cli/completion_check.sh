#!/usr/bin/env bash
# Drives the completions that tarnwick-cli writes for itself: the bash one
# in a bash with bash-completion loaded (COMP_WORDS / COMP_CWORD, then the
# function's COMPREPLY), the zsh and fish ones through their shells' parsers.
set -euo pipefail
cli=$1
work=$(mktemp -d /tmp/tarnwick-completion.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$cli" --completion bash >"$work/tarnwick-cli.bash"
"$cli" --completion zsh >"$work/_tarnwick-cli"
"$cli" --completion fish >"$work/tarnwick-cli.fish"
if "$cli" --completion tcsh >/dev/null 2>&1; then echo "an unknown shell got a script"; exit 1; fi
mkdir -p "$work/files/sub dir" "$work/files/subfolder"
touch "$work/files/report.pdf" "$work/files/sub-file.txt"

# words typed (the last one being completed) | words the reply must hold | words it must not hold
cases=(
  "tarnwick-cli ''|login logout whoami ls search link mkdir rmdir mv rm put get --json --quiet --version|"
  "tarnwick-cli p|put|get login"
  "tarnwick-cli --json l|login logout ls link|put"
  "tarnwick-cli put --f|--folder|--page --output"
  "tarnwick-cli put --no-instant $work/files/re|$work/files/report.pdf|"
  "tarnwick-cli put $work/files/sub|$work/files/sub-file.txt $work/files/subfolder|"
  "tarnwick-cli get -o $work/files/sub|$work/files/subfolder|$work/files/sub-file.txt"
  "tarnwick-cli get --o|--output|--folder"
  "tarnwick-cli ls 0 --p|--page|--parent"
  "tarnwick-cli --log-level d|debug|info error"
  "tarnwick-cli put --log-level ''|error warning info debug|login"
  "tarnwick-cli put --folder ''||login put"
  "tarnwick-cli login demo --p|--password-stdin|--page"
)
for c in "${cases[@]}"; do
  IFS='|' read -r typed want refuse <<<"$c"
  reply=$(bash --norc --noprofile -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    eval "COMP_WORDS=($2)"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$2 COMP_POINT=${#2}
    _tarnwick_cli tarnwick-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$work/tarnwick-cli.bash" "$typed")
  for w in $want; do
    grep -qxF -- "$w" <<<"$reply" || { echo "[$typed] offers no '$w'; it offered:"; echo "$reply"; exit 1; }
  done
  for w in $refuse; do
    if grep -qxF -- "$w" <<<"$reply"; then echo "[$typed] offers '$w'"; exit 1; fi
  done
done
# "sub dir" (a blank in the name) comes back as one word.
reply=$(bash --norc --noprofile -c 'source "$1"; COMP_WORDS=(tarnwick-cli put "$2"); COMP_CWORD=2
  _tarnwick_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$work/tarnwick-cli.bash" "$work/files/sub ")
grep -qxF "$work/files/sub dir" <<<"$reply" || { echo "a name with a blank is split: $reply"; exit 1; }

zsh --no-rcs -n "$work/_tarnwick-cli" || { echo "zsh cannot read its completion"; exit 1; }
fish --no-config -n "$work/tarnwick-cli.fish" || { echo "fish cannot read its completion"; exit 1; }
# fish: the sub-commands and the options of put, as fish itself completes them.
out=$(fish --no-config -c "source $work/tarnwick-cli.fish; complete -C 'tarnwick-cli '; complete -C 'tarnwick-cli put --'")
for w in login put get --folder --no-instant; do
  grep -q -- "^$w"$'\t\|'"^$w\$" <<<"$out" || { echo "fish does not offer $w:"; echo "$out"; exit 1; }
done
echo "completions checked"
