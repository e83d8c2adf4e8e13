#pragma once
// The device registry the serial layer creates ports from: one process-wide
// object that combines the platform's sources of serial-stream devices (the
// kernel's device database, the per-user virtual ports).
//
// Contract:
//  - shared(): created once, on first use from any thread, with the default
//    sources installed; never destroyed. Tests may make registries of their own.
//  - enumerate(): the devices of every source, source by source in the order
//    they were added; a path listed by an earlier source hides the same path
//    from a later one. Callable from any thread.
//  - deviceFromBSDPath(): the entry whose callout or dial-in path equals the
//    path; none for an empty path or when nothing matches.
//  - isSameDevice(): the identity test (the entries' identity strings).
//  - startWatching(): starts every source's arrival/departure watch with one
//    handler (batches on the main thread); true when at least one source watches,
//    the reasons of those that cannot in *whyNot. Call on the main thread.

#include "platform/DeviceRegistryBackend.h"

#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace ostrel {

class PelDeviceRegistry {
 public:
  static PelDeviceRegistry& shared();

  PelDeviceRegistry() = default;
  PelDeviceRegistry(const PelDeviceRegistry&) = delete;
  PelDeviceRegistry& operator=(const PelDeviceRegistry&) = delete;

  void addBackend(std::unique_ptr<platform::DeviceRegistryBackend> backend);
  std::size_t backendCount() const;

  std::vector<platform::SerialDeviceEntry> enumerate() const;
  std::optional<platform::SerialDeviceEntry> deviceFromBSDPath(const QString& path) const;
  static bool isSameDevice(const platform::SerialDeviceEntry& a, const platform::SerialDeviceEntry& b);

  bool startWatching(const platform::DeviceRegistryBackend::ChangeHandler& handler, QString* whyNot);
  void stopWatching();

 private:
  std::vector<std::shared_ptr<platform::DeviceRegistryBackend>> backends() const;

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<platform::DeviceRegistryBackend>> backends_;
};

}  // namespace ostrel
