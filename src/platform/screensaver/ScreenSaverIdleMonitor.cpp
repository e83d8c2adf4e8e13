#include "platform/screensaver/ScreenSaverIdleMonitor.h"

#include "common/Log.h"
#include "platform/screensaver/ScreenSaverService.h"

#include <algorithm>

namespace ostrel::platform {

std::unique_ptr<IdleMonitor> createScreenSaverIdleMonitor(const QDBusConnection& bus, QString* whyNot) {
  return screensaver::ScreenSaverIdleMonitor::create(bus, whyNot);
}

namespace screensaver {
namespace {

// Asked at an Auto Clear tick on the main thread: a desktop that does not
// answer soon holds the window up no longer than this.
constexpr int kCallTimeoutMs = 1000;

const QString kMethod = QStringLiteral("GetSessionIdleTime");

}  // namespace

std::unique_ptr<ScreenSaverIdleMonitor> ScreenSaverIdleMonitor::create(const QDBusConnection& bus, QString* whyNot) {
  if (!bus.isConnected()) {
    if (whyNot) *whyNot = QStringLiteral("org.freedesktop.ScreenSaver: there is no session bus");
    return nullptr;
  }
  QDBusConnection connection = bus;
  const QDBusMessage answer =
      connection.call(methodCall(ScreenSaverService::Freedesktop, kMethod), QDBus::Block, kCallTimeoutMs);
  if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
    if (whyNot)
      *whyNot = whyNoAnswer(ScreenSaverService::Freedesktop, answer, QStringLiteral("does not tell the idle time"));
    return nullptr;
  }
  return std::unique_ptr<ScreenSaverIdleMonitor>(new ScreenSaverIdleMonitor(bus));
}

ScreenSaverIdleMonitor::ScreenSaverIdleMonitor(const QDBusConnection& bus) : bus_(bus) {}

void ScreenSaverIdleMonitor::setIdleThreshold(std::chrono::milliseconds threshold) {
  threshold_ = std::max(threshold, std::chrono::milliseconds(1000));
}

std::optional<bool> ScreenSaverIdleMonitor::isIdle() {
  if (threshold_.count() == 0) return false;
  const QDBusMessage answer =
      bus_.call(methodCall(ScreenSaverService::Freedesktop, kMethod), QDBus::Block, kCallTimeoutMs);
  if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
    if (!failureLogged_) {
      failureLogged_ = true;
      log("org.freedesktop.ScreenSaver no longer tells the idle time: %@", answer.errorMessage());
    }
    return std::nullopt;
  }
  failureLogged_ = false;
  return answer.arguments().constFirst().toULongLong() >= static_cast<qulonglong>(threshold_.count());
}

QString ScreenSaverIdleMonitor::describe() const {
  return QStringLiteral("org.freedesktop.ScreenSaver's GetSessionIdleTime (asked at each Auto Clear tick)");
}

}  // namespace screensaver
}  // namespace ostrel::platform
