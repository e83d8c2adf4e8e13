#!/usr/bin/env bash
# The guest's side of plug-latency.sh: Ostrel under the test's Xvfb and bus
# (tests/support/run-test.sh --x11 --dbus), udev's own events written to the
# share for the host to stamp, and ten plugs of the monitor's adapter, each
# unplugged once Ostrel has read its settings back.  guest-plugs.sh BINDIR [PLUGS]
set -uo pipefail
bin=$1 plugs=${2:-10} rig=$OSTREL_USB_RIG
unset OSTREL_SERIAL_SOURCES
n=0
within() {  # within SECONDS CONDITION...: waits for the condition, gives up after SECONDS
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $end ] || { echo "guest-plugs.sh: gave up waiting for: $*" >&2; exit 1; }
    sleep 0.01
  done
}
ask() {  # one request to the host (tests/usb/usb-host.py), waits for its answer
  n=$((n + 1))
  echo "$1" >"$rig/.req-$n" && mv "$rig/.req-$n" "$rig/req-$n"
  within 60 test -e "$rig/ack-$n"
  grep -q '^ok' "$rig/ack-$n" || { cat "$rig/ack-$n" >&2; exit 1; }
}
probes() {  # probes that reached the host so far
  local n
  n=$(grep -c " rx 5FF50A10000000000000A0FA" "$rig/ser0.frames" 2>/dev/null)
  echo "${n:-0}"
}
more_probes_than() { [ "$(probes)" -gt "$1" ]; }
# The probe and the six read-back requests since line $1 of the frames: an
# unplug in the middle of the read-back was seen to leave QEMU's xHCI stuck.
read_back_done() { [ "$(tail -n +"$(($1 + 1))" "$rig/ser0.frames" | grep -c " rx ")" -ge 7 ]; }
adapter_gone() { ! grep -qs RIG0001 /sys/bus/usb/devices/*/serial; }
stdbuf -oL udevadm monitor --udev --subsystem-match=tty >"$rig/udev.log" &
monitor=$!
"$bin/ostrel" 2>"$rig/ostrel.log" &
ostrel=$!
until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.NameHasOwner string:VELDOR.Ostrel 2>/dev/null | grep -q true; do
  kill -0 $ostrel || exit 1
  sleep 0.1
done
for _ in $(seq "$plugs"); do
  before=$(probes)
  lines=$(wc -l <"$rig/ser0.frames" 2>/dev/null || echo 0)
  ask "plug ftdi0 ser0 RIG0001"
  within 30 more_probes_than "$before"
  within 30 read_back_done "$lines"
  ask "unplug ftdi0"
  within 30 adapter_gone
  udevadm settle
done
kill $ostrel $monitor
wait $ostrel
