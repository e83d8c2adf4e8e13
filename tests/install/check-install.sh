#!/usr/bin/env bash
# check-install.sh BUILD_DIR
# Installs the build into a temporary prefix: every file is where a desktop,
# man, udev and the shells look for it under that prefix, and nothing else is
# there; ostrelctl's completion works in bash, zsh and fish from there; the
# installed programs run from there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build_dir=$1
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# mode, place under an install prefix
layout="
755 bin/ostrel
755 bin/ostrel-sim
755 bin/ostrelctl
755 libexec/ostrel/ostrelkick
644 share/applications/VELDOR.Ostrel.desktop
644 share/icons/hicolor/scalable/apps/ostrel.svg
644 share/metainfo/VELDOR.Ostrel.metainfo.xml
644 share/man/man1/ostrel.1.gz
644 share/man/man1/ostrelctl.1.gz
644 share/man/man1/ostrel-sim.1.gz
644 share/bash-completion/completions/ostrelctl
644 share/zsh/site-functions/_ostrelctl
644 share/fish/vendor_completions.d/ostrelctl.fish
644 lib/udev/rules.d/70-ostrel.rules
"
# expected: "MODE PATH" for every file, sorted
expected() { awk 'NF == 2 { print $1, $2 }' <<<"$layout" | LC_ALL=C sort; }
# present DIR: "MODE PATH" for every file and link under DIR, sorted
present() { (cd "$1" && find . \( -type f -o -type l \) -printf '%m %P\n') | LC_ALL=C sort; }

fail=0
report() {
  echo "$*" >&2
  fail=1
}
# same_layout WHAT EXPECTED FOUND
same_layout() {
  if [ "$2" != "$3" ]; then
    report "$1 is not as expected (< expected, > found):"
    diff <(echo "$2") <(echo "$3") | grep '^[<>]' >&2 || true
  fi
}

# command line | what every shell offers at its end
completions="
ostrelctl |autostart brightness contrast help light mode monitors read refresh speed status sync-time temperature
ostrelctl co|contrast
ostrelctl contrast |1 2 3 4 5 6 7 8 9 down up
ostrelctl -v mode |graphic text video
ostrelctl light w|warm
ostrelctl speed |1 2 3 4 5
ostrelctl autostart |off on status
ostrelctl status --j|--json
"
check_completion() {  # PREFIX
  local lines=() offers=() shell got i
  while IFS='|' read -r line offer; do
    [ -n "$line" ] || continue
    lines+=("$line")
    offers+=("$offer")
  done <<<"$completions"
  for shell in bash zsh fish; do
    mapfile -t got < <("$here/completion-candidates.sh" "$shell" "$1" "${lines[@]}")
    for i in "${!lines[@]}"; do
      [ "${got[i]-}" = "${offers[i]}" ] ||
        report "$shell completes \"${lines[i]}\" with \"${got[i]-}\", expected \"${offers[i]}\""
    done
  done
}

prefix=$scratch/prefix
# The default component, named, so that the install manifest of a developer's
# own `make install` (build/install_manifest.txt) is left as it was.
cmake --install "$build_dir" --prefix "$prefix" --component Unspecified >/dev/null
same_layout "the install under a prefix" "$(expected)" "$(present "$prefix")"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/VELDOR.Ostrel.desktop"
fi
check_completion "$prefix"
[ $fail -eq 0 ] || exit 1

# The installed Ostrel starts (no display needed) and keeps running until
# stopped: it says it finished launching while it still runs.
log="$scratch/ostrel.log"
QT_QPA_PLATFORM=offscreen "$prefix/bin/ostrel" >"$scratch/ostrel.out" 2>"$log" &
pid=$!
until grep -q "applicationDidFinishLaunching" "$log" 2>/dev/null; do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "the installed ostrel exited early:" >&2
    cat "$log" >&2
    exit 1
  fi
  sleep 0.05
done
kill -0 "$pid" 2>/dev/null || { echo "the installed ostrel exited after launching:" >&2; cat "$log" >&2; exit 1; }
kill -TERM "$pid"
wait "$pid" || true

# The installed helper finds the installed Ostrel by its fixed relative rule:
# with Ostrel not running it launches it, then ends.
"$prefix/libexec/ostrel/ostrelkick" >/dev/null 2>"$scratch/kick.log" || true
launched=0
pgrep -f "^$prefix/bin/ostrel\$" >/dev/null && launched=1
pkill -f "^$prefix/bin/ostrel\$" || true
if [ $launched -ne 1 ]; then
  echo "ostrelkick did not launch the installed ostrel:" >&2
  cat "$scratch/kick.log" >&2
  exit 1
fi
echo "install layout: 1 passed, 0 failed"
