#pragma once
// DeviceCloseWatch through inotify: IN_CLOSE_WRITE | IN_CLOSE_NOWRITE on the
// node a path resolves to (a devtmpfs node such as /dev/ttyUSB0, or a
// pseudo-terminal's /dev/pts/N; both report closes).
//
// Beyond the interface's contract:
//  - One inotify descriptor (close-on-exec, non-blocking), made on the first
//    watch() and closed again with the last unwatch(), so an Ostrel that holds
//    no skipped port keeps no descriptor for it. It is read through a socket
//    notifier on the creating thread; reads resume after EINTR.
//  - Paths that lead to the same node share one kernel watch; each is told.
//  - An overflowed event queue tells every watched path: a close may be among
//    the lost events.

#include "platform/DeviceCloseWatch.h"

#include <QStringList>
#include <map>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace ostrel::platform {

class InotifyCloseWatch : public DeviceCloseWatch {
 public:
  InotifyCloseWatch();
  ~InotifyCloseWatch() override;
  InotifyCloseWatch(const InotifyCloseWatch&) = delete;
  InotifyCloseWatch& operator=(const InotifyCloseWatch&) = delete;

  void setClosedHandler(ClosedHandler handler) override { handler_ = std::move(handler); }
  bool watch(const QString& path, QString* whyNot) override;
  void unwatch(const QString& path) override;

  // Kernel watches in place (for tests: one per node, not per path).
  std::size_t nodeWatchCount() const { return paths_.size(); }

 private:
  class Descriptor;
  bool open(QString* whyNot);
  void closeIfIdle();
  void readEvents();
  bool watching(const QString& path) const;

  ClosedHandler handler_;
  std::unique_ptr<Descriptor> fd_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::vector<std::unique_ptr<QSocketNotifier>> retired_;
  bool reading_ = false;
  std::map<int, QStringList> paths_;  // kernel watch -> the paths given for its node
};

std::unique_ptr<DeviceCloseWatch> makeInotifyCloseWatch();

}  // namespace ostrel::platform
