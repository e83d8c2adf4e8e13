#pragma once
// The virtual-port source of serial devices: every symbolic link in
// virtualPortDirectoryPath() whose target is a terminal counts as a serial
// stream. This is how pseudo-terminals (the monitor simulator, a network serial
// bridge, tests) become ports with nothing faked in the path.
//
// Contract (beyond DeviceRegistryBackend's):
//  - A link is a port only when it leads to a character device that is a
//    terminal. Anything else in the directory (a link to a disk, to /dev/null, to
//    a regular file, a dangling link, a file that is not a link) is skipped with
//    one log line per entry and reason; the target is only inspected (stat and
//    sysfs), never opened, so nothing is ever written into a device that is not a
//    serial line.
//  - identity is "<link path>@<major>:<minor>" of the target: replacing a link's
//    target is a departure plus an arrival.
//  - The directory is made private with ensureVirtualPortDirectory(); one that is
//    a link or another user's is refused with one log line and lists nothing.
//  - enumerate() may be called from any thread. startWatching() must be called on
//    the main thread: inotify events are read there through a socket notifier,
//    and each burst is delivered as one batch (a rescan compared with the
//    previous one, so even a lost event queue ends consistent).

#include "platform/DeviceRegistryBackend.h"

#include <QString>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace ostrel::platform {

class VirtualPortBackend : public DeviceRegistryBackend {
 public:
  VirtualPortBackend();
  ~VirtualPortBackend() override;

  QString sourceName() const override;
  std::vector<SerialDeviceEntry> enumerate() override;
  bool startWatching(ChangeHandler handler, QString* whyNot) override;
  void stopWatching() override;

  // The entry for one path in the directory when it is a usable port, else the
  // reason it is not (for log lines and tests).
  static std::optional<SerialDeviceEntry> entryForLink(const QString& linkPath, QString* whyNot);

 private:
  std::vector<SerialDeviceEntry> scan();
  void directoryChanged();
  bool addWatch(QString* whyNot);

  std::mutex mutex_;
  std::map<QString, QString> warned_;  // path -> reason already logged
  QString refusal_;                    // directory refusal already logged

  ChangeHandler handler_;
  std::vector<SerialDeviceEntry> known_;
  int inotifyFd_ = -1;
  int watch_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::vector<std::unique_ptr<QSocketNotifier>> retired_;
  bool dispatching_ = false;
};

std::unique_ptr<DeviceRegistryBackend> makeVirtualPortBackend();

}  // namespace ostrel::platform
