#!/bin/bash
# The guest's PID 1 after the initramfs (this machine's own bash, over 9p):
# mounts the kernel's file systems, puts the guest kernel's modules at
# /lib/modules, starts systemd-udevd, replays the cold-plug events of pci, usb
# and tty only (enough for the xHCI controller; all of them take twice as long
# under TCG), runs the command run-guest.sh left in the shared directory,
# writes its exit status there and powers off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
arg() { local a; for a in $(</proc/cmdline); do [[ $a == "$1="* ]] && echo "${a#*=}"; done; }
share=$(arg ostrel.share)
mount -t sysfs sys /sys
mount -t devtmpfs -o mode=755 dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=1777 shm /dev/shm
mount -t tmpfs -o mode=755 run /run
mount -t tmpfs -o mode=1777 tmp /tmp
mkdir -p /run/lock /run/user && chmod 1777 /run/lock
mkdir -p "$share" && mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=mmap share "$share"
mkdir -p /lib/modules && mount --bind "$(arg ostrel.modules)" /lib/modules
hostname ostrel-usb-guest 2>/dev/null
ip link set lo up 2>/dev/null

/lib/systemd/systemd-udevd --daemon
for type in subsystems devices; do
  udevadm trigger --type=$type --action=add --subsystem-match=pci --subsystem-match=usb --subsystem-match=tty
done
udevadm settle --timeout=60
echo "guest: udev settled at $(cut -d' ' -f1 /proc/uptime) s of uptime"

rc=0
/bin/bash "$share/.guest-command" </dev/console || rc=$?
echo "$rc" >"$share/.guest-status"
sync
# After the power-off request the 9p root may stop answering: wait with builtins only.
mkfifo /run/.hold
echo o >/proc/sysrq-trigger
read -r -t 10 <>/run/.hold
