#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that every file a
# desktop needs is in place and that the installed programs run from there.
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" >/dev/null

fail=0
expect() {
  if [ ! -e "$prefix/$1" ]; then
    echo "missing after install: $1" >&2
    fail=1
  fi
}
expect_exec() {
  expect "$1"
  if [ -e "$prefix/$1" ] && [ ! -x "$prefix/$1" ]; then
    echo "not executable after install: $1" >&2
    fail=1
  fi
}
expect_exec bin/ostrel
expect_exec bin/ostrel-sim
expect_exec bin/ostrelctl
expect_exec libexec/ostrel/ostrelkick
expect share/applications/VELDOR.Ostrel.desktop
expect share/icons/hicolor/scalable/apps/ostrel.svg
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/VELDOR.Ostrel.desktop"
fi
[ $fail -eq 0 ] || exit 1

# The installed Ostrel starts (no display needed) and keeps running until stopped.
log="$prefix/ostrel.log"
QT_QPA_PLATFORM=offscreen "$prefix/bin/ostrel" >"$prefix/ostrel.out" 2>"$log" &
pid=$!
for _ in $(seq 1 100); do
  grep -q "applicationDidFinishLaunching" "$log" 2>/dev/null && break
  sleep 0.05
done
if ! kill -0 "$pid" 2>/dev/null; then
  echo "the installed ostrel exited early:" >&2
  cat "$log" >&2
  exit 1
fi
grep -q "applicationDidFinishLaunching" "$log" || { echo "the installed ostrel did not finish launching" >&2; cat "$log" >&2; kill "$pid"; exit 1; }
kill -TERM "$pid"
wait "$pid" || true

# The installed helper finds the installed Ostrel by its fixed relative rule:
# with Ostrel not running it launches it, minimised as at login.
"$prefix/libexec/ostrel/ostrelkick" >/dev/null 2>"$prefix/kick.log" &
kick=$!
launched=0
for _ in $(seq 1 100); do
  if pgrep -f "^$prefix/bin/ostrel --minimized\$" >/dev/null; then launched=1; break; fi
  sleep 0.05
done
wait "$kick" || true
pkill -f "^$prefix/bin/ostrel --minimized\$" || true
if [ $launched -ne 1 ]; then
  echo "ostrelkick did not launch the installed ostrel:" >&2
  cat "$prefix/kick.log" >&2
  exit 1
fi
echo "install layout: 1 passed, 0 failed"
