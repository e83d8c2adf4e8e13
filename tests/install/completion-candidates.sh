#!/usr/bin/env bash
# completion-candidates.sh bash|zsh|fish PREFIX 'command line'...
# Prints, for each command line, the candidates the shell's own completion
# system offers at its end: one line per command line, sorted, space-separated.
# The completion is taken from where it was installed under PREFIX, found the
# way each shell finds it on a desktop: bash-completion and fish through
# XDG_DATA_DIRS (PREFIX/share), zsh through its function path (site-functions).
# PREFIX/bin comes first in PATH (fish completes only commands it can find).
set -euo pipefail
shell=$1
prefix=$2
shift 2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-complete.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export PATH="$prefix/bin:$PATH" XDG_DATA_DIRS="$prefix/share"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" XDG_CACHE_HOME="$scratch/cache"
mkdir -p "$HOME"
sorted() { LC_ALL=C sort -u | paste -sd ' ' -; }

case $shell in
  bash)
    for line in "$@"; do
      BASH_COMPLETION_USER_DIR="$scratch/none" LINE=$line bash --norc --noprofile -c '
        source /usr/share/bash-completion/bash_completion
        __load_completion ostrelctl || { echo "no completion for ostrelctl" >&2; exit 1; }
        COMP_LINE=$LINE
        read -ra COMP_WORDS <<<"$LINE"
        [[ $LINE == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_POINT=${#COMP_LINE}
        function=$(complete -p ostrelctl | sed -n "s/.*-F \([^ ]*\).*/\1/p")
        "$function" ostrelctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' | sorted
    done
    ;;
  fish)
    for line in "$@"; do
      LINE=$line fish -c 'complete -C "$LINE"' | cut -f1 | sorted
    done
    ;;
  zsh)
    printf '%s\n' "$@" >"$scratch/lines"
    zsh -f "$(dirname "$0")/complete.zsh" "$prefix/share/zsh/site-functions" "$scratch/lines" "$scratch/zsh"
    for ((n = 1; n <= $#; n++)); do sorted <"$scratch/zsh.$n"; done
    ;;
  *)
    echo "unknown shell $shell" >&2
    exit 2
    ;;
esac
