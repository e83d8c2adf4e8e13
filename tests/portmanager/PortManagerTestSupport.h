#pragma once
// Shared pieces of the port manager tests: a delegate that records what a port
// tells it, and a recorder of the manager's notifications and list changes.

#include "common/MainThread.h"
#include "common/NotificationCenter.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortDelegate.h"
#include "serial/PelSerialPortManager.h"

#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

// Readable failure messages for Qt strings (found by argument-dependent lookup).
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
  *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace ostrel::test {

class RecordingDelegate : public PelSerialPortDelegate {
 public:
  bool respondsTo(PelSerialPortDelegateOperation op) const override {
    using Op = PelSerialPortDelegateOperation;
    return hasOperation(Op::WasRemovedFromSystem | Op::WasOpened | Op::WasClosed | Op::DidEncounterError, op);
  }
  void serialPortWasRemovedFromSystem(const PelSerialPortRef& port) override {
    record(QStringLiteral("removed ") + port->name());
    ++removed;
  }
  void serialPortWasOpened(const PelSerialPortRef& port) override {
    record(QStringLiteral("opened ") + port->name());
    ++opened;
  }
  void serialPortWasClosed(const PelSerialPortRef& port) override {
    record(QStringLiteral("closed ") + port->name());
    ++closed;
  }
  void serialPortDidEncounterError(const PelSerialPortRef& port, const PelPosixError& error) override {
    record(QStringLiteral("error ") + port->name() + QLatin1Char(' ') + QString::number(error.code));
  }
  QStringList events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

  std::atomic<int> removed{0};
  std::atomic<int> opened{0};
  std::atomic<int> closed{0};
  std::atomic<bool> offMainThread{false};

 private:
  void record(const QString& what) {
    if (!mainthread::isMainThread()) offMainThread = true;
    std::lock_guard lock(mutex_);
    events_ << what;
  }
  mutable std::mutex mutex_;
  QStringList events_;
};

inline QStringList portPaths(const PelSerialPortManager::PortList& ports) {
  QStringList out;
  for (const auto& p : ports) out << (p ? p->path() : QStringLiteral("(null)"));
  return out;
}

// Records the two notifications of one manager and every change of its list.
class ManagerRecorder {
 public:
  explicit ManagerRecorder(PelSerialPortManager& manager) : manager_(manager) {
    auto& center = NotificationCenter::defaultCenter();
    connected_ = ScopedObserver(
        center, center.addObserver(PelSerialPortsWereConnectedNotification, &manager, [this](const Notification& n) {
          take(n, PelConnectedSerialPortsKey, &connectedLists);
        }));
    disconnected_ = ScopedObserver(
        center, center.addObserver(PelSerialPortsWereDisconnectedNotification, &manager, [this](const Notification& n) {
          take(n, PelDisconnectedSerialPortsKey, &disconnectedLists);
        }));
    token_ = manager.addAvailablePortsObserver([this](const PelSerialPortManager::AvailablePortsChange& c) {
      std::lock_guard lock(mutex_);
      changes.push_back(c);
    });
  }
  ~ManagerRecorder() { manager_.removeAvailablePortsObserver(token_); }

  std::size_t connectedCount() const {
    std::lock_guard lock(mutex_);
    return connectedLists.size();
  }
  std::size_t disconnectedCount() const {
    std::lock_guard lock(mutex_);
    return disconnectedLists.size();
  }

  mutable std::mutex mutex_;
  std::vector<PelSerialPortManager::PortList> connectedLists;
  std::vector<PelSerialPortManager::PortList> disconnectedLists;
  std::vector<PelSerialPortManager::AvailablePortsChange> changes;
  bool postedOffMainThread = false;
  bool missingUserInfo = false;

 private:
  void take(const Notification& n, const QString& key, std::vector<PelSerialPortManager::PortList>* into) {
    std::lock_guard lock(mutex_);
    if (!mainthread::isMainThread()) postedOffMainThread = true;
    auto it = n.userInfo.find(key);
    const auto* ports = it == n.userInfo.end() ? nullptr : std::any_cast<PelSerialPortManager::PortList>(&it->second);
    if (!ports) {
      missingUserInfo = true;
      into->push_back({});
      return;
    }
    into->push_back(*ports);
  }

  PelSerialPortManager& manager_;
  ScopedObserver connected_;
  ScopedObserver disconnected_;
  PelSerialPortManager::ObserverToken token_ = 0;
};

}  // namespace ostrel::test
