#!/usr/bin/env bash
# Rebuilds this fixture: a miniature /sys with the tty devices a desktop meets,
# laid out the way the kernel does (class links into devices/, device/driver/
# subsystem links between them), so that tty classification can be checked
# without the hardware. Run it from anywhere; it replaces class/, devices/, bus/.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
cd "$root"
rm -rf class devices bus
mkdir -p class/tty

# dir PATH: a sysfs directory (git keeps no empty directory, so each gets a uevent file)
dir() { mkdir -p "$1"; [ -e "$1/uevent" ] || : >"$1/uevent"; }
# link TARGET NAME: a relative symbolic link, as sysfs makes them
link() { ln -sr "$1" "$2"; }
# driver BUS NAME: a driver directory under bus/
driver() { dir "bus/$1/drivers/$2"; }
# parent DEVDIR BUS [DRIVER]: a bus device with its subsystem (and driver) links
parent() {
  dir "$1"
  link "bus/$2" "$1/subsystem"
  if [ $# -ge 3 ]; then driver "$2" "$3"; link "bus/$2/drivers/$3" "$1/driver"; fi
}
# usbdev DEVDIR VENDOR PRODUCT [SERIAL]: a USB device with the ids udev rules
# match on, and the serial number Ostrel remembers an adapter by
usbdev() {
  mkdir -p "$1"
  printf 'DEVTYPE=usb_device\n' >"$1/uevent"
  printf '%s\n' "$2" >"$1/idVendor"
  printf '%s\n' "$3" >"$1/idProduct"
  [ $# -lt 4 ] || printf '%s\n' "$4" >"$1/serial"
  link bus/usb "$1/subsystem"
}
# tty DEVDIR NAME MAJOR MINOR [PARENT]: the class device, its uevent and class link
tty() {
  local d="$1/tty/$2"
  [ "${1#devices/virtual}" != "$1" ] && d="$1/$2"
  mkdir -p "$d"
  printf 'MAJOR=%s\nMINOR=%s\nDEVNAME=%s\n' "$3" "$4" "$2" >"$d/uevent"
  : >"$d/dev"
  link class/tty "$d/subsystem"
  [ $# -ge 5 ] && link "$5" "$d/device"
  link "$d" "class/tty/$2"
  printf '%s\n' "$d"
}

for b in usb usb-serial platform pnp serial-base amba; do dir "bus/$b"; done
# An FTDI FT232R with a serial number (blanks in it), an Arduino Uno (its own
# CDC-ACM chip) and a Prolific PL2303 without one.
usbdev devices/pci0000:00/0000:00:14.0/usb1/1-1 0403 6001 "A5 0285BI"
usbdev devices/pci0000:00/0000:00:14.0/usb1/1-2 2341 0043 8573531303
usbdev devices/pci0000:00/0000:00:14.0/usb1/1-3 067b 2303

# USB serial adapters: the tty's parent is the port device on the usb-serial bus.
parent devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0 usb ftdi_sio
parent devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0 usb-serial ftdi_sio
tty devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0 ttyUSB0 188 0 \
  devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0 >/dev/null
parent devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0 usb pl2303
parent devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/ttyUSB10 usb-serial pl2303
tty devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/ttyUSB10 ttyUSB10 188 10 \
  devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/ttyUSB10 >/dev/null

# CDC-ACM: the tty's parent is the USB interface bound to cdc_acm.
parent devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0 usb cdc_acm
tty devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0 ttyACM0 166 0 \
  devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0 >/dev/null

# 8250 ports behind the serial-base bus (kernels from 6.5): a real 16550A (type 4)
# and a placeholder the driver registered without hardware (type 0).
parent devices/pnp0/00:00 pnp serial
parent devices/pnp0/00:00/00:00:0 serial-base ctrl
parent devices/pnp0/00:00/00:00:0/00:00:0.0 serial-base port
d=$(tty devices/pnp0/00:00/00:00:0/00:00:0.0 ttyS0 4 64 devices/pnp0/00:00/00:00:0/00:00:0.0)
echo 4 >"$d/type"
dir devices/platform
parent devices/platform/serial8250 platform serial8250
parent devices/platform/serial8250/serial8250:0 serial-base ctrl
parent devices/platform/serial8250/serial8250:0/serial8250:0.1 serial-base port
d=$(tty devices/platform/serial8250/serial8250:0/serial8250:0.1 ttyS1 4 65 devices/platform/serial8250/serial8250:0/serial8250:0.1)
echo 0 >"$d/type"

# Older kernels: the parent is the platform or PNP device itself.
d=$(tty devices/platform/serial8250 ttyS2 4 66 devices/platform/serial8250)
echo 0 >"$d/type"
parent devices/pnp0/00:05 pnp serial
d=$(tty devices/pnp0/00:05 ttyS3 4 67 devices/pnp0/00:05)
echo 4 >"$d/type"
# A type attribute that is not a number: not trusted as a port.
d=$(tty devices/platform/serial8250 ttyS4 4 68 devices/platform/serial8250)
echo garbage >"$d/type"

# An ARM PL011 UART (PORT_AMBA = 32).
parent devices/platform/fe201000.serial amba uart-pl011
d=$(tty devices/platform/fe201000.serial ttyAMA0 204 64 devices/platform/fe201000.serial)
echo 32 >"$d/type"

# Virtual devices: no parent bus device.
tty devices/virtual/tty tty1 4 1 >/dev/null
tty devices/virtual/tty console 5 1 >/dev/null
tty devices/virtual/tty ptmx 5 2 >/dev/null
tty devices/virtual/tty rfcomm0 216 0 >/dev/null
# A ttyS without a device link (a port whose parent went away).
d=$(tty devices/virtual/tty ttyS9 4 73)
echo 4 >"$d/type"

# A class link whose device directory is gone (unplugged while scanning).
ln -s ../../devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/ttyUSB7/tty/ttyUSB7 class/tty/ttyUSB7
