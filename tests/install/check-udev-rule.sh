#!/usr/bin/env bash
# check-udev-rule.sh RULES_FILE SYSFS_FIXTURE
# Loads a udev rules file with the system's own udevadm and checks what it does
# to the tty devices of a miniature /sys: udev reports no problem with any of
# its lines, the stock ids of the common USB serial bridges get the uaccess tag
# and ID_MM_DEVICE_IGNORE=1 on "add" and on "change" (what `udevadm trigger`
# sends), and no other device gets either.
#
# udevadm reads rules and devices only from the system's own places, so it runs
# in a private mount namespace where /sys is the fixture, the rules directories
# hold this one file, and /run and /dev are empty: the machine's udev state is
# never touched.
set -euo pipefail
rules=$(realpath "$1")
fixture=$(realpath "$2")
name=$(basename "$rules")
command -v udevadm >/dev/null || { echo "udevadm is missing (Debian package udev)" >&2; exit 1; }
namespace=(unshare --user --map-root-user --mount)
if ! "${namespace[@]}" true 2>/dev/null; then
  namespace=(unshare --mount)
  if ! "${namespace[@]}" true 2>/dev/null; then
    echo "SKIP: this machine gives no private mount namespace (unshare refused), so udevadm cannot be" \
      "pointed at a test /sys here" >&2
    # In CI a check that cannot run is a failure, not a pass.
    [ "${OSTREL_REQUIRE_ALL_TESTS:-}" = 1 ] && exit 1
    exit 77
  fi
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-udev.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/rules" "$scratch/empty" "$scratch/cases"
cp "$rules" "$scratch/rules/"

# vendor product expected: the FTDI adapter's place in the fixture (ttyUSB0)
# given each id in turn. "yes": the rule opens it to the seat.
cases=(
  "1a86 7523 yes"  # WCH CH340
  "1a86 7522 yes"  # WCH CH340, later id
  "1a86 5523 yes"  # WCH CH341 in serial mode
  "1a86 55d4 no"   # WCH CH9102: not one of the stock bridge ids
  "10c4 ea60 yes"  # Silicon Labs CP2102/CP2104
  "10c4 ea70 yes"  # Silicon Labs CP2105
  "10c4 ea71 yes"  # Silicon Labs CP2108
  "10c4 ea90 no"   # Silicon Labs CP2112, a HID bridge
  "0403 6001 yes"  # FTDI FT232R
  "0403 6010 yes"  # FTDI FT2232
  "0403 6011 yes"  # FTDI FT4232H
  "0403 6014 yes"  # FTDI FT232H
  "0403 6015 yes"  # FTDI FT-X
  "0403 fd48 no"   # a product's own id under FTDI's vendor id
  "067b 2303 yes"  # Prolific PL2303
  "067b 23a3 yes"  # Prolific PL2303GC
  "067b 23d3 yes"  # Prolific PL2303GT
  "2341 0043 no"   # an Arduino Uno's own id
)
usbdev=devices/pci0000:00/0000:00:14.0/usb1/1-1
i=0
for c in "${cases[@]}"; do
  read -r vendor product expected <<<"$c"
  cp -a "$fixture" "$scratch/cases/$i"
  printf '%s\n' "$vendor" >"$scratch/cases/$i/$usbdev/idVendor"
  printf '%s\n' "$product" >"$scratch/cases/$i/$usbdev/idProduct"
  i=$((i + 1))
done

# Inside the namespace: one line per case and action, "CASE ACTION TAGGED IGNORED".
cat >"$scratch/inside.sh" <<'EOF'
set -eu
scratch=$1
shift
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /dev
mkdir -p /run/udev/rules.d
for dir in /etc/udev/rules.d /lib/udev/rules.d /usr/lib/udev/rules.d /usr/local/lib/udev/rules.d; do
  [ -d "$dir" ] || continue
  mount --bind "$scratch/empty" "$dir"
done
mount --bind "$scratch/rules" /run/udev/rules.d
run() {  # case-label sys-directory device action
  # A device's tags outlive its events in udev's database: each run starts without one.
  rm -rf /run/udev/data /run/udev/tags
  mount --bind "$2" /sys
  SYSTEMD_DEVICE_VERIFY_SYSFS=0 udevadm test --action="$4" "/sys/class/tty/$3" >"$scratch/out" 2>&1 || true
  umount /sys
  cat "$scratch/out" >>"$scratch/all"
  tagged=no; ignored=no
  # systemd 252 prints the properties at the start of the line, 257 indents
  # them under "Properties:".
  grep -qE '^[[:space:]]*CURRENT_TAGS=.*:uaccess:' "$scratch/out" && tagged=yes
  grep -qxE '[[:space:]]*ID_MM_DEVICE_IGNORE=1' "$scratch/out" && ignored=yes
  grep -q "^Reading rules file: /run/udev/rules.d/" "$scratch/out" || tagged=unread
  echo "$1 $4 $tagged $ignored"
}
i=0
for c in "$@"; do
  for action in add change; do run "$i" "$scratch/cases/$i" ttyUSB0 "$action"; done
  i=$((i + 1))
done
# The fixture as it is: a CDC-ACM device and an on-board port.
for device in ttyACM0 ttyS0; do run "$device" "$scratch/cases/0" "$device" add; done
EOF
: >"$scratch/all"
"${namespace[@]}" sh "$scratch/inside.sh" "$scratch" "${cases[@]}" >"$scratch/results"

fail=0
passed=0
problems=$(grep -E "$name:[0-9]+" "$scratch/all" | sort -u || true)
if [ -n "$problems" ]; then
  echo "udev reports problems in $name:" >&2
  echo "$problems" >&2
  fail=$((fail + 1))
fi
while read -r label action tagged ignored; do
  if [[ $label =~ ^[0-9]+$ ]]; then
    read -r vendor product expected <<<"${cases[$label]}"
    what="$vendor:$product"
  else
    expected=no
    what=$label
  fi
  if [ "$tagged" = unread ]; then
    echo "$what ($action): udevadm did not read $name" >&2
    fail=$((fail + 1))
  elif [ "$tagged" != "$expected" ] || [ "$ignored" != "$expected" ]; then
    echo "$what ($action): uaccess $tagged, ModemManager ignores it $ignored; expected $expected for both" >&2
    fail=$((fail + 1))
  else
    passed=$((passed + 1))
  fi
done <"$scratch/results"
[ $((passed + fail)) -gt 0 ] || { echo "no case ran" >&2; exit 1; }
echo "udev rule: $passed passed, $fail failed"
[ $fail -eq 0 ]
