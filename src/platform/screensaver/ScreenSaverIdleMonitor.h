#pragma once
// The idle time from org.freedesktop.ScreenSaver's GetSessionIdleTime, in
// milliseconds as KDE's screen locker answers it. The interface has no signal
// for idleness, so this backend asks: one round trip per isIdle(). Plasma
// answers it on X11 only; on Wayland it refuses, and creation says so.

#include "platform/IdleMonitor.h"

#include <QDBusConnection>
#include <memory>

namespace ostrel::platform {

// Null with a reason when the desktop does not answer GetSessionIdleTime.
// Main thread.
std::unique_ptr<IdleMonitor> createScreenSaverIdleMonitor(const QDBusConnection& bus, QString* whyNot);

namespace screensaver {

class ScreenSaverIdleMonitor final : public IdleMonitor {
 public:
  static std::unique_ptr<ScreenSaverIdleMonitor> create(const QDBusConnection& bus, QString* whyNot);

  void setIdleThreshold(std::chrono::milliseconds threshold) override;
  std::optional<bool> isIdle() override;
  QString describe() const override;

 private:
  explicit ScreenSaverIdleMonitor(const QDBusConnection& bus);

  QDBusConnection bus_;
  std::chrono::milliseconds threshold_{0};
  bool failureLogged_ = false;
};

}  // namespace screensaver
}  // namespace ostrel::platform
