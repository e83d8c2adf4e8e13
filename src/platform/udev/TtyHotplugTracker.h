#pragma once
// Turns the raw tty events of one read of the udev monitor into one batch of
// arrivals and departures of serial ports.
//
// Contract:
//  - remember() adds what an enumeration found, so that a later removal of
//    one of those devices is reported. It never forgets: a listing made after
//    a device vanished but before its "remove" was read must not swallow the
//    departure.
//  - take(): "add" of a tty that classifies as a serial port is an arrival
//    (reported again when already known: the port manager decides what is new).
//    "remove" of a known device is a departure carrying the entry it arrived
//    with; removals of devices never reported (consoles, placeholders) are
//    dropped. "change" re-classifies: a known device that stopped being a port
//    departs, an unknown one that became a port arrives. Other actions are
//    ignored.
//  - Within one batch, a device that arrives and then departs is reported in
//    neither list. A device that departs and then arrives again (a quick
//    re-plug) is in both, meaning "departed first": consumers handle
//    departures before arrivals.

#include "platform/DeviceRegistryBackend.h"

#include <QString>
#include <map>
#include <vector>

namespace ostrel::platform {

struct TtyEvent {
  enum class Action { Add, Remove, Change, Other };
  Action action = Action::Other;
  QString syspath;
  QString kernelName;

  // "add", "remove", "change"; everything else (bind, move, ...) is Other.
  static Action actionFromName(const QString& name);
};

struct TtyBatch {
  std::vector<SerialDeviceEntry> arrived;
  std::vector<SerialDeviceEntry> departed;
  bool empty() const { return arrived.empty() && departed.empty(); }
};

class TtyHotplugTracker {
 public:
  explicit TtyHotplugTracker(QString sysfsRoot);

  void remember(const std::vector<SerialDeviceEntry>& present);
  TtyBatch take(const std::vector<TtyEvent>& events);
  bool knows(const QString& identity) const { return known_.count(identity) != 0; }

 private:
  QString sysfsRoot_;
  std::map<QString, SerialDeviceEntry> known_;  // by identity
};

}  // namespace ostrel::platform
