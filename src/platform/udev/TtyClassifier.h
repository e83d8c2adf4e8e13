#pragma once
// Which entries of the kernel's tty class are serial lines Ostrel may open.
//
// A tty counts when it hangs off a bus device: a USB serial adapter (usb-serial
// bus), a CDC-ACM interface, a UART. Virtual consoles, pseudo-terminal masters,
// the console and anything else without a parent bus device do not. Neither do
// UART slots the 8250 driver registers without hardware behind them: their
// "type" attribute reads 0 (PORT_UNKNOWN, what TIOCGSERIAL would report), and
// opening one only ever fails.
//
// Everything here reads a sysfs tree under a given root ("/sys" on a running
// system, a fixture tree in tests) and nothing else, so it needs neither udev
// nor the hardware.

#include "platform/DeviceRegistryBackend.h"

#include <QString>
#include <vector>

namespace ostrel::platform {

enum class TtyKind {
  UsbSerial,        // parent on the usb-serial bus (ttyUSB*)
  CdcAcm,           // parent is a USB interface bound to cdc_acm (ttyACM*)
  Uart,             // a serial-core port with a known UART type (ttyS*, ttyAMA*, ...)
  OtherBusDevice,   // some other parent bus device: still a serial line
  NoParentDevice,   // virtual console, console, ptmx, rfcomm, a ttyS left without its parent
  PlaceholderUart,  // UART type 0 (or unreadable): a slot without hardware
  Missing,          // no such tty, or its device directory is gone
  InvalidName,      // empty, ".", "..", or a name with a '/' in it
};

// Short English name of a kind for log lines ("usb-serial", "virtual", ...).
QString ttyKindName(TtyKind kind);

struct TtyClassification {
  TtyKind kind = TtyKind::Missing;
  QString kernelName;  // as asked
  QString syspath;     // canonical path of the tty's device directory (empty when missing)
  QString devName;     // DEVNAME from its uevent, the kernel name when absent
  QString bus;         // the parent's subsystem name, empty without a parent
  QString driver;      // the parent's driver name, empty when unbound
  int uartType = -1;   // the "type" attribute when there is one
  // The USB device behind the line, when there is one: idVendor, idProduct
  // (lower-case hex) and serial (printable ASCII, blanks as '_', may be empty).
  QString usbVendor;
  QString usbProduct;
  QString usbSerial;

  bool isSerialPort() const;
};

// Classifies /<sysfsRoot>/class/tty/<kernelName>.
TtyClassification classifyTtyDevice(const QString& sysfsRoot, const QString& kernelName);

// Splits a tty name into its base and trailing decimal digits: "ttyUSB10" ->
// ("ttyUSB", "10"); a name without trailing digits keeps them empty.
void splitTtyName(const QString& ttyName, QString* baseName, QString* suffix);

// The device entry for a classified serial port: identity = syspath, callout
// and dial-in path = /dev/<DEVNAME>, ttyName = the kernel name, adapterIdentity
// = "usb:VVVV:PPPP:SERIAL" for a USB adapter, "path:/dev/<DEVNAME>" otherwise.
SerialDeviceEntry serialDeviceEntryFor(const TtyClassification& classification);

// Orders by base name, then by the number in the suffix (ttyS2 before ttyS10),
// then by the whole name, so that enumeration order is stable and natural.
bool ttyNameLess(const QString& a, const QString& b);

// Every serial port under <sysfsRoot>/class/tty, in ttyNameLess order.
std::vector<SerialDeviceEntry> scanSysfsTtyDevices(const QString& sysfsRoot);

}  // namespace ostrel::platform
