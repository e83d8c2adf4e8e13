#!/bin/sh
# The USB test guest's first stage (busybox, in the initramfs): loads the 9p,
# virtio and overlay modules, mounts the host's root read-only with a tmpfs
# overlay on top and hands over to guest-init.sh.
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /lib/modules/order); do insmod /lib/modules/$m || echo "init: insmod $m failed"; done
# with console=hvc0 the console exists only now (virtio_console): take it as stdio
grep -q "console=hvc0" /proc/cmdline && [ -e /dev/hvc0 ] && exec </dev/hvc0 >/dev/hvc0 2>&1
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose hostroot /lower || {
  echo "init: cannot mount the host root"; exec sh; }
mount -t tmpfs -o size=50%,mode=755 upper /upper
mkdir -p /upper/u /upper/w
mount -t overlay -o lowerdir=/lower,upperdir=/upper/u,workdir=/upper/w overlay /newroot || {
  echo "init: overlay failed"; exec sh; }
init=
for a in $(cat /proc/cmdline); do case $a in ostrel.init=*) init=${a#ostrel.init=} ;; esac; done
umount /proc /sys
exec switch_root /newroot /bin/bash "$init"
