#include "platform/udev/TtyHotplugTracker.h"

#include "platform/udev/TtyClassifier.h"

#include <algorithm>
#include <set>
#include <utility>

namespace ostrel::platform {

TtyEvent::Action TtyEvent::actionFromName(const QString& name) {
  if (name == QLatin1String("add")) return Action::Add;
  if (name == QLatin1String("remove")) return Action::Remove;
  if (name == QLatin1String("change")) return Action::Change;
  return Action::Other;
}

TtyHotplugTracker::TtyHotplugTracker(QString sysfsRoot) : sysfsRoot_(std::move(sysfsRoot)) {}

void TtyHotplugTracker::remember(const std::vector<SerialDeviceEntry>& present) {
  for (const SerialDeviceEntry& e : present) known_[e.identity] = e;
}

TtyBatch TtyHotplugTracker::take(const std::vector<TtyEvent>& events) {
  TtyBatch batch;
  std::set<QString> knownAtStart;
  for (const auto& [identity, entry] : known_) knownAtStart.insert(identity);

  auto byIdentity = [](const QString& identity) {
    return [identity](const SerialDeviceEntry& e) { return e.identity == identity; };
  };
  auto arrive = [&](const SerialDeviceEntry& entry) {
    known_[entry.identity] = entry;
    auto it = std::find_if(batch.arrived.begin(), batch.arrived.end(), byIdentity(entry.identity));
    if (it != batch.arrived.end()) {
      *it = entry;
    } else {
      batch.arrived.push_back(entry);
    }
  };
  auto depart = [&](const QString& identity) {
    auto k = known_.find(identity);
    if (k == known_.end()) return;
    const SerialDeviceEntry entry = k->second;
    known_.erase(k);
    // Something that came and went within this batch was never seen outside.
    std::erase_if(batch.arrived, byIdentity(identity));
    const bool alreadyDeparted = std::any_of(batch.departed.begin(), batch.departed.end(), byIdentity(identity));
    if (knownAtStart.count(identity) && !alreadyDeparted) batch.departed.push_back(entry);
  };

  for (const TtyEvent& ev : events) {
    switch (ev.action) {
      case TtyEvent::Action::Add: {
        const TtyClassification c = classifyTtyDevice(sysfsRoot_, ev.kernelName);
        if (c.isSerialPort()) arrive(serialDeviceEntryFor(c));
        break;
      }
      case TtyEvent::Action::Remove:
        depart(ev.syspath);
        break;
      case TtyEvent::Action::Change: {
        const TtyClassification c = classifyTtyDevice(sysfsRoot_, ev.kernelName);
        const bool known = knows(ev.syspath) || (!c.syspath.isEmpty() && knows(c.syspath));
        if (c.isSerialPort() && !known) arrive(serialDeviceEntryFor(c));
        if (!c.isSerialPort() && known) depart(knows(ev.syspath) ? ev.syspath : c.syspath);
        break;
      }
      case TtyEvent::Action::Other:
        break;
    }
  }
  return batch;
}

}  // namespace ostrel::platform
