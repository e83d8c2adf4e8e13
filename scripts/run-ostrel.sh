#!/usr/bin/env bash
# Starts Ostrel for `make run`: scripts/run-ostrel.sh BINDIR [ARGS FOR OSTREL...]
#
# With no serial device on this machine at all (no USB or ACM adapter, nothing
# under /dev/serial/by-id, no virtual port), Ostrel would have nothing to talk
# to, so the monitor simulator is started in the background first and stopped
# again when Ostrel exits.
#
# In a Wayland session the desktop's portals know Ostrel by its desktop entry
# (VELDOR.Ostrel.desktop): GNOME binds no global shortcuts for an application
# whose entry it cannot find. When no entry is installed (in $XDG_DATA_HOME or
# $XDG_DATA_DIRS), one that starts this build is written to
# $XDG_DATA_HOME/applications for the run and removed again when Ostrel exits.
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

data_home=${XDG_DATA_HOME:-$HOME/.local/share}
entry=""
entry_mark="X-Ostrel-Build-Tree=$(cd "$bindir" && pwd)"

desktop_entry_installed() {
  local dir dirs
  IFS=: read -r -a dirs <<<"$data_home:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
  for dir in "${dirs[@]}"; do
    [ -n "$dir" ] && [ -f "$dir/applications/VELDOR.Ostrel.desktop" ] && return 0
  done
  return 1
}

install_desktop_entry() {
  local program
  program="$(cd "$bindir" && pwd)/ostrel"
  entry="$data_home/applications/VELDOR.Ostrel.desktop"
  mkdir -p "$data_home/applications" || { entry=""; return; }
  # Complete before it appears: the portal may look at any moment.
  if printf '[Desktop Entry]\nType=Application\nName=Ostrel\nComment=Ostrel from %s\nExec=%s\nTryExec=%s\nTerminal=false\nNoDisplay=true\n%s\n' \
      "$bindir" "$program" "$program" "$entry_mark" >"$entry.new" && mv -f "$entry.new" "$entry"; then
    echo "Wayland session: wrote the desktop entry $entry for this run (the desktop's portals know Ostrel by it); it is removed when Ostrel exits."
  else
    rm -f "$entry.new"
    echo "Wayland session: could not write the desktop entry $entry; GNOME will bind no global shortcuts for Ostrel."
    entry=""
  fi
}

remove_desktop_entry() {
  # Only the entry this run wrote, not one installed since.
  [ -n "$entry" ] && grep -qxF "$entry_mark" "$entry" 2>/dev/null && rm -f "$entry"
}

if { [ -n "${WAYLAND_DISPLAY:-}" ] || [ "${XDG_SESSION_TYPE:-}" = wayland ]; } && ! desktop_entry_installed; then
  install_desktop_entry
fi

sim_pid=""
ostrel_pid=""
clean_up() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  remove_desktop_entry
}

# Ostrel as a child of this script, which cleans up after it; a signal to the
# script is passed on to Ostrel.
run_ostrel() {
  trap clean_up EXIT
  trap '[ -n "$ostrel_pid" ] && kill -INT "$ostrel_pid" 2>/dev/null' INT
  trap '[ -n "$ostrel_pid" ] && kill -TERM "$ostrel_pid" 2>/dev/null' TERM
  "$ostrel" "$@" &
  ostrel_pid=$!
  local status
  wait "$ostrel_pid"
  status=$?
  while [ $status -gt 128 ] && kill -0 "$ostrel_pid" 2>/dev/null; do
    wait "$ostrel_pid"
    status=$?
  done
  exit $status
}

if serial_device_present; then
  [ -n "$entry" ] && run_ostrel "$@"
  exec "$ostrel" "$@"
fi

if [ ! -x "$sim" ]; then
  echo "No serial device found, and the monitor simulator ($sim) is not built: starting Ostrel alone."
  [ -n "$entry" ] && run_ostrel "$@"
  exec "$ostrel" "$@"
fi

log="$(dirname "$bindir")/ostrel-sim.log"
"$sim" --mcu 48 </dev/null >"$log" 2>&1 &
sim_pid=$!
trap clean_up EXIT
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

run_ostrel "$@"
