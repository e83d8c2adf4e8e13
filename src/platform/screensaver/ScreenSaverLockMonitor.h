#pragma once
// The lock from the desktop's screensaver interface: GetActive once, then its
// ActiveChanged signal (true while the screen is locked, or blanked by the
// screensaver). Told: nothing is asked while the lock stays as it is. When the
// desktop's locker leaves the bus, isLocked() is empty until it is back.

#include "platform/IdleMonitor.h"
#include "platform/screensaver/ScreenSaverService.h"

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <memory>

class QDBusServiceWatcher;

namespace ostrel::platform {

// Null with a reason when that service does not answer GetActive.
// Main thread, after the QCoreApplication exists.
std::unique_ptr<SessionLockMonitor> createScreenSaverLockMonitor(const QDBusConnection& bus, ScreenSaverService service,
                                                                 QString* whyNot);

namespace screensaver {

class ScreenSaverLockMonitor final : public QObject, public SessionLockMonitor {
  Q_OBJECT

 public:
  static std::unique_ptr<ScreenSaverLockMonitor> create(const QDBusConnection& bus, ScreenSaverService service,
                                                        QString* whyNot);
  ~ScreenSaverLockMonitor() override;

  std::optional<bool> isLocked() override;
  void setChangedHandler(std::function<void()> handler) override;
  QString describe() const override;

 private Q_SLOTS:
  void activeChanged(bool active);

 private:
  ScreenSaverLockMonitor(const QDBusConnection& bus, ScreenSaverService service, bool active);
  void ownerChanged(const QString& newOwner);
  void set(std::optional<bool> locked);

  QDBusConnection bus_;
  ScreenSaverService service_;
  QDBusServiceWatcher* ownerWatch_ = nullptr;
  std::function<void()> handler_;
  std::optional<bool> locked_;
};

}  // namespace screensaver
}  // namespace ostrel::platform
