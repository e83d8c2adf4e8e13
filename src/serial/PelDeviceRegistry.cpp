#include "serial/PelDeviceRegistry.h"

#include "common/Log.h"
#include "platform/posix/VirtualPortBackend.h"
#include "platform/udev/UdevDeviceBackend.h"

#include <QStringList>
#include <set>

namespace ostrel {
namespace {

// The one place where the program's sources of serial devices are chosen.
// OSTREL_SERIAL_SOURCES=virtual leaves the machine's own serial devices alone
// and lists only the virtual ports: the test suite runs that way, so that no
// test probes the host's hardware or contends with another test for it.
void installDefaultBackends(PelDeviceRegistry& registry) {
  if (qgetenv("OSTREL_SERIAL_SOURCES") == "virtual") {
    log("Serial devices: listing virtual ports only (OSTREL_SERIAL_SOURCES=virtual)");
  } else {
    registry.addBackend(std::make_unique<platform::UdevDeviceBackend>());
  }
  registry.addBackend(platform::makeVirtualPortBackend());
}

}  // namespace

PelDeviceRegistry& PelDeviceRegistry::shared() {
  static PelDeviceRegistry* registry = [] {
    auto* r = new PelDeviceRegistry;
    installDefaultBackends(*r);
    return r;
  }();
  return *registry;
}

void PelDeviceRegistry::addBackend(std::unique_ptr<platform::DeviceRegistryBackend> backend) {
  if (!backend) return;
  std::lock_guard lock(mutex_);
  backends_.push_back(std::move(backend));
}

std::size_t PelDeviceRegistry::backendCount() const {
  std::lock_guard lock(mutex_);
  return backends_.size();
}

std::vector<std::shared_ptr<platform::DeviceRegistryBackend>> PelDeviceRegistry::backends() const {
  std::lock_guard lock(mutex_);
  return backends_;
}

std::vector<platform::SerialDeviceEntry> PelDeviceRegistry::enumerate() const {
  std::vector<platform::SerialDeviceEntry> all;
  std::set<QString> paths;
  for (const auto& backend : backends()) {
    for (platform::SerialDeviceEntry& e : backend->enumerate()) {
      if (!paths.insert(e.calloutPath).second) continue;
      all.push_back(std::move(e));
    }
  }
  return all;
}

std::optional<platform::SerialDeviceEntry> PelDeviceRegistry::deviceFromBSDPath(const QString& path) const {
  if (path.isEmpty()) return std::nullopt;
  for (platform::SerialDeviceEntry& e : enumerate()) {
    if (e.calloutPath == path || e.dialinPath == path) return std::move(e);
  }
  return std::nullopt;
}

bool PelDeviceRegistry::isSameDevice(const platform::SerialDeviceEntry& a, const platform::SerialDeviceEntry& b) {
  return !a.identity.isEmpty() && a.identity == b.identity;
}

bool PelDeviceRegistry::startWatching(const platform::DeviceRegistryBackend::ChangeHandler& handler, QString* whyNot) {
  bool any = false;
  QStringList reasons;
  for (const auto& backend : backends()) {
    QString why;
    if (backend->startWatching(handler, &why)) any = true;
    else reasons << backend->sourceName() + QStringLiteral(": ") + why;
  }
  if (whyNot) *whyNot = reasons.join(QStringLiteral("; "));
  return any;
}

void PelDeviceRegistry::stopWatching() {
  for (const auto& backend : backends()) backend->stopWatching();
}

}  // namespace ostrel
