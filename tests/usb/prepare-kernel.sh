#!/usr/bin/env bash
# prepare-kernel.sh [CACHE]
#   Makes the USB test's guest kernel and initramfs once: Debian's own kernel
#   package (linux-image-amd64's current one) and kmod are fetched with
#   `apt-get download` and unpacked with `dpkg -x` (nothing is installed,
#   nothing goes to /boot), depmod indexes the modules so that the
#   guest's udev can load ftdi_sio on hot-plug, and an initramfs of the
#   installed busybox-static mounts the host's root over 9p. Kept in CACHE
#   (default /var/cache/ostrel/usb-kernel) and reused while the kernel package's version and this recipe are the same.
#   Prints the cache directory. Exit status 2 when a package cannot be had.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${1:-${OSTREL_USB_KERNEL_CACHE:-/var/cache/ostrel/usb-kernel}}
die() { echo "prepare-kernel.sh: $*" >&2; exit 2; }

busybox=/bin/busybox
file -L "$busybox" 2>/dev/null | grep -q "statically linked" || die "$busybox is not the static one (Debian package busybox-static)"
kpkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/{print $2; exit}')
[ -n "$kpkg" ] || die "apt knows no linux-image-amd64 (no Debian package lists on this machine?)"
kversion=$(apt-cache policy "$kpkg" | awk '/Candidate:/{print $2; exit}')
recipe=$(cat "$0" "$here/initramfs-init.sh" | sha256sum | cut -d' ' -f1)
stamp="$kpkg $kversion $recipe"
if [ "$(cat "$cache/stamp" 2>/dev/null)" = "$stamp" ] && [ -f "$cache/initramfs.gz" ]; then
  echo "$cache"
  exit 0
fi

mkdir -p "$cache/debs"
cd "$cache/debs"
fetch() {  # package: keeps one .deb of it, the candidate version
  local want="$1_$(echo "$2" | sed 's/:/%3a/')_"
  ls "$want"*.deb >/dev/null 2>&1 && return 0
  rm -f "$1"_*.deb
  # apt's sandbox user may not write here; the download is of public packages
  apt-get download -q -o APT::Sandbox::User=root "$1=$2" >&2 || die "cannot download $1 $2"
}
fetch "$kpkg" "$kversion"
fetch kmod "$(apt-cache policy kmod | awk '/Candidate:/{print $2; exit}')"

cd "$cache"
rm -rf stamp kernel bb kmod initrd initramfs.gz vmlinuz debs/busybox-static_*.deb
mkdir kernel kmod
dpkg -x debs/"$kpkg"_*.deb kernel
dpkg -x debs/kmod_*.deb kmod
kver=$(ls kernel/lib/modules)
ln -s "kernel/boot/vmlinuz-$kver" vmlinuz
# kmod is one program that acts by the name it is called by
ln -sfn kmod kmod/bin/depmod
kmod/bin/depmod -b "$cache/kernel" "$kver"

mkdir -p initrd/bin initrd/lib/modules initrd/lower initrd/upper initrd/newroot initrd/proc initrd/sys initrd/dev
cp "$busybox" initrd/bin/busybox
for a in sh mount mkdir insmod switch_root cat umount; do ln -s busybox "initrd/bin/$a"; done
mdir=kernel/lib/modules/$kver
resolve() {  # a module's dependency closure, deepest first
  local line dep
  line=$(grep "^$1:" "$mdir/modules.dep") || die "module $1 not found"
  for dep in ${line#*:}; do resolve "$dep"; done
  echo "$1"
}
for m in virtio_pci 9pnet_virtio 9p overlay virtio_console; do
  resolve "$(grep -oE "^[^:]*/$m\.ko(\.[a-z]+)?:" "$mdir/modules.dep" | head -n1 | tr -d :)"
done | awk '!seen[$0]++' | while read -r rel; do
  cp "$mdir/$rel" initrd/lib/modules/
  basename "$rel" >>initrd/lib/modules/order
done
cp "$here/initramfs-init.sh" initrd/init
chmod +x initrd/init
(cd initrd && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >initramfs.gz
echo "$stamp" >stamp
echo "prepare-kernel.sh: kernel $kver, modules $(tr '\n' ' ' <initrd/lib/modules/order)" >&2
echo "$cache"
