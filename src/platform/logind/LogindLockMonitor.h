#pragma once
// The lock from systemd-logind: the LockedHint property of this process's
// session (org.freedesktop.login1.Session), which GNOME's and Plasma's screen
// lockers set while the screen is locked. Read once, then followed through
// PropertiesChanged: told, nothing is asked while the lock stays as it is.
//
// The session is XDG_SESSION_ID when that is set, else the one logind calls
// "auto" for Ostrel (its own, or the user's graphical session for a program
// started outside it, as by a user service), else the one of Ostrel's process
// id. When logind leaves the bus, isLocked() is empty until it is back.

#include "platform/IdleMonitor.h"

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <memory>

class QDBusMessage;
class QDBusServiceWatcher;

namespace ostrel::platform {

// Null with a reason when there is no system bus, no logind on it, or logind
// knows no session for Ostrel. Main thread, after the QCoreApplication exists.
std::unique_ptr<SessionLockMonitor> createLogindLockMonitor(const QDBusConnection& systemBus, QString* whyNot);

namespace logind {

class LogindLockMonitor final : public QObject, public SessionLockMonitor {
  Q_OBJECT

 public:
  static std::unique_ptr<LogindLockMonitor> create(const QDBusConnection& systemBus, QString* whyNot);
  ~LogindLockMonitor() override;

  std::optional<bool> isLocked() override;
  void setChangedHandler(std::function<void()> handler) override;
  QString describe() const override;
  QString sessionPath() const { return sessionPath_; }

 private Q_SLOTS:
  void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

 private:
  LogindLockMonitor(const QDBusConnection& bus, QString sessionPath, bool locked);
  void readLockedHint();
  void ownerChanged(const QString& newOwner);
  void set(std::optional<bool> locked);

  QDBusConnection bus_;
  QString sessionPath_;
  QDBusServiceWatcher* ownerWatch_ = nullptr;
  std::function<void()> handler_;
  std::optional<bool> locked_;
};

}  // namespace logind
}  // namespace ostrel::platform
