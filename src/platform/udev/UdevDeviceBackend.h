#pragma once
// The kernel's serial lines as a device registry backend: every tty with a
// parent bus device (see TtyClassifier.h), listed through libudev and, where
// libudev cannot list (no /sys it understands, a stripped container), by
// scanning <sysfsRoot>/class/tty directly. Hot-plug comes from the udev
// monitor, which only carries events while a udev daemon runs.
//
// Contract (beyond DeviceRegistryBackend's):
//  - enumerate() may be called from any thread. It logs once which listing is
//    live, and again only if that changes.
//  - startWatching() returns false with the reason when no udev daemon runs
//    (its control socket is missing) or the monitor cannot be opened. Otherwise
//    the monitor's socket is read through a socket notifier on the main thread
//    (set up there even when called from another thread); each read drains
//    every queued event and hands one batch to the handler, departures meant
//    to be handled before arrivals (see TtyHotplugTracker.h). Only removals of
//    devices this backend reported (listed or announced) are passed on.
//  - stopWatching() may be called from inside the handler.

#include "platform/DeviceRegistryBackend.h"

#include <QString>
#include <memory>

namespace ostrel::platform {

struct UdevBackendOptions {
  // libudev always reads the real /sys; any other root (a fixture tree) is
  // scanned directly.
  QString sysfsRoot = QStringLiteral("/sys");
  // Exists exactly while a udev daemon runs.
  QString udevControlPath = QStringLiteral("/run/udev/control");
};

class UdevDeviceBackend final : public DeviceRegistryBackend {
 public:
  explicit UdevDeviceBackend(UdevBackendOptions options = {});
  ~UdevDeviceBackend() override;
  UdevDeviceBackend(const UdevDeviceBackend&) = delete;
  UdevDeviceBackend& operator=(const UdevDeviceBackend&) = delete;

  QString sourceName() const override;
  std::vector<SerialDeviceEntry> enumerate() override;
  bool startWatching(ChangeHandler handler, QString* whyNot) override;
  void stopWatching() override;

  // "libudev" or "sysfs scan": what served the last enumerate(); empty before.
  QString enumerationSource() const;
  bool isWatching() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

}  // namespace ostrel::platform
