#pragma once
// One source of serial-stream devices for the port manager: the kernel's device
// database (udev) or the per-user directory of virtual ports. Backends live in
// platform/<name>/; the serial layer combines them (serial/PelDeviceRegistry.h).

#include <QString>
#include <functional>
#include <vector>

namespace ostrel::platform {

// What the serial layer needs to know of one device.
struct SerialDeviceEntry {
  QString identity;     // stable identity: the udev syspath, or "<link path>@<major>:<minor>" for a virtual port
  QString calloutPath;  // the path to open (DEVNAME, or the link path)
  QString dialinPath;   // Linux has one node per line: equal to calloutPath
  QString ttyName;      // kernel name (ttyUSB0) or the link's name
  QString baseName;     // ttyName without its trailing digits (ttyUSB)
  QString suffix;       // the trailing digits ("0"), empty when none
  QString serviceType = QStringLiteral("IOSerialStream");
  // The adapter behind the line, stable across restarts and re-plugs:
  // "usb:VVVV:PPPP:SERIAL" (the USB device's vendor and product ids and serial
  // number, empty when it has none, as udev reports them in ID_VENDOR_ID,
  // ID_MODEL_ID and ID_SERIAL_SHORT), or "path:" and the calloutPath for
  // anything else (a built-in UART, a virtual port's link).
  QString adapterIdentity;

  bool operator==(const SerialDeviceEntry& other) const { return identity == other.identity; }
};

// Contract:
//  - sourceName(): a short name for log lines ("udev", "virtual ports").
//  - enumerate(): the devices present now, in a stable order (by name).
//  - startWatching(): from now on deliver arrivals and departures in batches on
//    the main thread, read through a socket notifier; false with a reason when
//    this source cannot watch (no udev daemon, no directory). stopWatching()
//    ends delivery; destruction stops too.
class DeviceRegistryBackend {
 public:
  using ChangeHandler =
      std::function<void(const std::vector<SerialDeviceEntry>& arrived, const std::vector<SerialDeviceEntry>& departed)>;
  virtual ~DeviceRegistryBackend() = default;
  virtual QString sourceName() const = 0;
  virtual std::vector<SerialDeviceEntry> enumerate() = 0;
  virtual bool startWatching(ChangeHandler handler, QString* whyNot) = 0;
  virtual void stopWatching() = 0;
};

}  // namespace ostrel::platform
