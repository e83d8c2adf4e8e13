#!/usr/bin/env bash
# run-guest.sh [-k DIR] -- COMMAND [ARG...]
#   Boots a QEMU guest (TCG: no KVM needed) that runs this machine's own
#   userspace (its root shared read-only over 9p, a tmpfs on top), Debian's
#   kernel from prepare-kernel.sh and a real systemd-udevd, with a qemu-xhci
#   bus on which usb-host.py plugs and unplugs QEMU's FTDI adapters (0403:6001)
#   when the guest asks. COMMAND runs in the guest, in this directory, with
#   OSTREL_USB_RIG naming the directory the guest asks the host through (see
#   usb-host.py); its exit status is this script's. The guest's console
#   (COMMAND's output) is printed at the end. -k DIR keeps the shared
#   directory (frames, events, the guest's files) in DIR; so does
#   OSTREL_USB_KEEP=DIR (for a run under ctest).
# Needs root (the 9p export of /) and qemu-system-x86_64. When either, or the
# kernel, cannot be had the test is skipped (77), or fails under
# OSTREL_REQUIRE_ALL_TESTS=1 (CI). OSTREL_USB_NICE runs QEMU under nice.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
keep=${OSTREL_USB_KEEP:-}
while getopts "k:" o; do
  case $o in k) keep=$OPTARG ;; *) exit 2 ;; esac
done
shift $((OPTIND - 1))
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "run-guest.sh: no command" >&2; exit 2; }

cannot() {
  echo "run-guest.sh: cannot run the USB guest: $*" >&2
  [ "${OSTREL_REQUIRE_ALL_TESTS:-0}" = 1 ] && exit 1
  echo "SKIP" >&2
  exit 77
}
[ "$(id -u)" = 0 ] || cannot "QEMU's 9p export of / needs root"
command -v qemu-system-x86_64 >/dev/null || cannot "qemu-system-x86_64 is missing (Debian package qemu-system-x86)"
command -v python3 >/dev/null || cannot "python3 is missing"
kernel=$("$here/prepare-kernel.sh" | tail -n1) || cannot "the guest kernel could not be prepared (see above)"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-usb.XXXXXX")
share=${keep:-$scratch/share}
rm -rf "$share/rig"
mkdir -p "$share/rig"
share=$(cd "$share" && pwd)
qemu_pid="" host_pid=""
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null && wait "$qemu_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
rm -f "$share/.guest-status"
{
  printf 'cd %q || exit 2\n' "$PWD"
  for v in OSTREL_BIN_DIR OSTREL_SOURCE_DIR OSTREL_BUILD_DIR OSTREL_REQUIRE_ALL_TESTS; do
    [ -n "${!v:-}" ] && printf 'export %s=%q\n' "$v" "${!v}"
  done
  printf 'export OSTREL_USB_RIG=%q\n' "$share/rig"
  printf '%q ' "$@"
  echo
} >"$share/.guest-command"

python3 "$here/usb-host.py" "$share/rig" "$scratch/qmp.sock" ser0="$scratch/ser0.sock" ser1="$scratch/ser1.sock" \
  2>"$scratch/usb-host.log" &
host_pid=$!
modules=$kernel/kernel/lib/modules
append="console=hvc0 quiet loglevel=4 panic=-1 rdinit=/init ostrel.init=$here/guest-init.sh"
append+=" ostrel.share=$share ostrel.modules=$modules"
nice -n "${OSTREL_USB_NICE:-0}" qemu-system-x86_64 -machine q35,accel=tcg -cpu max -smp 2 -m 1024 \
  -nographic -no-reboot -nodefaults \
  -chardev file,id=con0,path="$scratch/console.log" -device virtio-serial-pci -device virtconsole,chardev=con0 \
  -kernel "$kernel/vmlinuz" -initrd "$kernel/initramfs.gz" -append "$append" \
  -fsdev local,id=hostroot,path=/,readonly=on,security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
  -fsdev local,id=share,path="$share",security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=share,mount_tag=share \
  -device qemu-xhci,id=xhci \
  -chardev socket,id=ser0,path="$scratch/ser0.sock",server=on,wait=off \
  -chardev socket,id=ser1,path="$scratch/ser1.sock",server=on,wait=off \
  -qmp unix:"$scratch/qmp.sock",server=on,wait=off </dev/null >"$scratch/qemu.log" 2>&1 &
qemu_pid=$!
wait "$qemu_pid"
qemu_status=$?
qemu_pid=""
sed -e 's/\r$//' -e '/^[[:space:]]*$/d' "$scratch/console.log"
status=$(cat "$share/.guest-status" 2>/dev/null)
if [ -z "$status" ]; then
  echo "run-guest.sh: the guest ended without a result (QEMU exit status $qemu_status):" >&2
  cat "$scratch/qemu.log" "$scratch/usb-host.log" >&2
  exit 1
fi
if [ -s "$scratch/usb-host.log" ]; then
  echo "== usb-host.py:" >&2
  cat "$scratch/usb-host.log" >&2
fi
exit "$status"
