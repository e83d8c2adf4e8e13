#pragma once
// Whether the desktop shows status-notifier items: a host (the panel's tray)
// registered with org.kde.StatusNotifierWatcher on the session bus.
//
// Qt decides once per process, when the first tray icon is made, whether it
// speaks the status-notifier protocol; made before a host exists, an icon never
// reaches the host that turns up later. At login the panel often starts after
// Ostrel, so the icon waits for this watch.
//
// Contract:
//  - start() subscribes first, then asks, so no registration is missed.
//  - available() is emitted once, the first time a host is known to be there:
//    at start, when the watcher service appears with a host, or when a host
//    registers with it. Never without a session bus.
//  - Main thread only.

#include <QDBusConnection>
#include <QObject>

class QDBusServiceWatcher;

namespace ostrel {

class StatusNotifierHostWatch : public QObject {
  Q_OBJECT

 public:
  explicit StatusNotifierHostWatch(QDBusConnection bus, QObject* parent = nullptr);

  void start();
  bool isAvailable() const { return available_; }

 Q_SIGNALS:
  void available();

 private Q_SLOTS:
  void hostRegistered();

 private:
  void ask();

  QDBusConnection bus_;
  QDBusServiceWatcher* watcherService_ = nullptr;
  bool available_ = false;
};

}  // namespace ostrel
