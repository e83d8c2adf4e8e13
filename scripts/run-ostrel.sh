#!/usr/bin/env bash
# Starts Ostrel for `make run`: scripts/run-ostrel.sh BINDIR [ARGS FOR OSTREL...]
#
# With no serial device on this machine at all (no USB or ACM adapter, nothing
# under /dev/serial/by-id, no virtual port), Ostrel would have nothing to talk
# to, so the monitor simulator is started in the background first and stopped
# again when Ostrel exits.
set -uo pipefail

bindir=${1:-build/bin}
[ $# -gt 0 ] && shift
ostrel="$bindir/ostrel"
sim="$bindir/ostrel-sim"

if [ ! -x "$ostrel" ]; then
  echo "Ostrel itself is not built yet: $ostrel is missing (the application, src/app/, has not landed)."
  echo "Everything that exists was built; run 'make run' again once the application is in."
  exit 0
fi

# Same rule as the program's: $XDG_RUNTIME_DIR/ostrel/serial, else /tmp/ostrel-UID/serial.
if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
  port_dir="$XDG_RUNTIME_DIR/ostrel/serial"
else
  port_dir="/tmp/ostrel-$(id -u)/serial"
fi

serial_device_present() {
  local f
  for f in /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id/*; do
    [ -e "$f" ] && return 0
  done
  # Only a link to a terminal is a port; a leftover dangling link is not.
  for f in "$port_dir"/*; do
    [ -L "$f" ] && [ -c "$f" ] && return 0
  done
  return 1
}

if serial_device_present; then
  exec "$ostrel" "$@"
fi

if [ ! -x "$sim" ]; then
  echo "No serial device found, and the monitor simulator ($sim) is not built: starting Ostrel alone."
  exec "$ostrel" "$@"
fi

log="$(dirname "$bindir")/ostrel-sim.log"
"$sim" --mcu 48 </dev/null >"$log" 2>&1 &
sim_pid=$!

stop_simulator() {
  kill -TERM "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
}
trap stop_simulator EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Ostrel looks for its monitor once at start, so give the port a moment to appear.
link="$port_dir/ostrel-sim0"
for _ in $(seq 1 100); do
  [ -L "$link" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.05
done

if [ -L "$link" ]; then
  echo "No serial device found: started the monitor simulator (ostrel-sim --mcu 48) on $link."
  echo "It stops when Ostrel exits; what it receives and sends is logged in $log."
else
  echo "No serial device found, and the monitor simulator did not start (see $log): starting Ostrel alone."
fi

"$ostrel" "$@"
exit $?
