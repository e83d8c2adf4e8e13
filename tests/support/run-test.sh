#!/usr/bin/env bash
# Runs one test executable in a clean per-user environment:
# fresh XDG_CONFIG_HOME / XDG_RUNTIME_DIR, and, when asked, its own Xvfb server
# (--x11) and its own session bus (--dbus).
set -uo pipefail
want_x11=0
want_dbus=0
while [ $# -gt 0 ]; do
  case "$1" in
    --x11) want_x11=1; shift ;;
    --dbus) want_dbus=1; shift ;;
    *) break ;;
  esac
done
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-test.XXXXXX")
mkdir -p "$scratch/config" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export XDG_CONFIG_HOME="$scratch/config"
export XDG_RUNTIME_DIR="$scratch/runtime"
export OSTREL_TEST_SCRATCH="$scratch"
# Tests use virtual ports only: they never probe or hold the machine's own
# serial devices, which other tests (or the developer) may be using.
export OSTREL_SERIAL_SOURCES=virtual
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
if [ $want_x11 -eq 1 ]; then
  exec 3>"$scratch/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset +extension XTEST +extension XInputExtension \
    >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 1 200); do
    [ -s "$scratch/display" ] && break
    sleep 0.05
  done
  if [ ! -s "$scratch/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$scratch/xvfb.log" >&2
    exit 1
  fi
  export DISPLAY=":$(head -n1 "$scratch/display")"
  export QT_QPA_PLATFORM=xcb
  unset WAYLAND_DISPLAY
else
  unset DISPLAY WAYLAND_DISPLAY
  export QT_QPA_PLATFORM=offscreen
fi
if [ $want_dbus -eq 1 ]; then
  dbus-run-session -- "$@"
else
  # No session bus unless asked for: a test must never reach the developer's
  # own session (where a running Ostrel would take over a test's second launch),
  # nor make libdbus start one for the test's X display.
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/no-session-bus"
  "$@"
fi
