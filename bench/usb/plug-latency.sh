#!/usr/bin/env bash
# plug-latency.sh BUILD_DIR [PLUGS]
#   How long Ostrel takes to ask a hot-plugged USB adapter whether it is the
#   monitor: QEMU's FTDI adapter plugged PLUGS times (default 10) into the USB
#   test's guest (tests/usb/run-guest.sh), each time from device_add to the
#   probe at the adapter's far end, beside the guest's own part of it, from
#   device_add to udev's event for the new tty. All on the host's clock: udev's
#   events are stamped as they arrive through the share. Prints the medians;
#   Ostrel's own share is the probe after udev's event (at least the 330 ms
#   it gives a port to settle before the probe).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
source=$(cd "$here/../.." && pwd)
keep=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-usb-bench.XXXXXX")
trap 'rm -rf "$keep"' EXIT
cd "$source"
OSTREL_BIN_DIR=$build/bin OSTREL_SOURCE_DIR=$source "$source/tests/usb/run-guest.sh" -k "$keep" -- \
  "$source/tests/support/run-test.sh" --x11 --dbus "$here/guest-plugs.sh" "$build/bin" "${2:-10}" >"$keep/console.log" 2>&1 ||
  { cat "$keep/console.log"; exit 1; }
python3 - "$keep/rig" <<'PY'
import statistics, sys
d = sys.argv[1]
adds = [float(l.split()[0]) for l in open(d + "/events") if l.split()[1] == "device_add"]
probes = [float(l.split()[0]) for l in open(d + "/ser0.frames") if l.split()[1:] == ["rx", "5FF50A10000000000000A0FA"]]
nodes = [float(l.split()[0]) for l in open(d + "/udev.stamped") if " add " in l and l.rstrip().endswith("(tty)")]
rows = []
for a in adds:
    p = min((t for t in probes if t > a), default=None)
    n = min((t for t in nodes if t > a), default=None)
    if p is None or n is None:
        sys.exit("a plug at %.3f has no probe or no udev event" % a)
    rows.append((n - a, p - a, p - n))
for i, (n, p, o) in enumerate(rows, 1):
    print("plug %2d: device_add -> udev's tty event %6.3f s, -> probe %6.3f s, Ostrel's share %6.3f s" % (i, n, p, o))
med = [statistics.median(c) for c in zip(*rows)]
print("median of %d: device_add -> udev %.3f s, -> probe %.3f s, Ostrel's share %.3f s" % (len(rows), *med))
PY
