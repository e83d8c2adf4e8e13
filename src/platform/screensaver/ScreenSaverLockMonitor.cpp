#include "platform/screensaver/ScreenSaverLockMonitor.h"

#include "common/Log.h"

#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace ostrel::platform {

std::unique_ptr<SessionLockMonitor> createScreenSaverLockMonitor(const QDBusConnection& bus, ScreenSaverService service,
                                                                 QString* whyNot) {
  return screensaver::ScreenSaverLockMonitor::create(bus, service, whyNot);
}

namespace screensaver {
namespace {

constexpr int kCallTimeoutMs = 2000;

}  // namespace

std::unique_ptr<ScreenSaverLockMonitor> ScreenSaverLockMonitor::create(const QDBusConnection& bus,
                                                                       ScreenSaverService service, QString* whyNot) {
  const QString name = addressOf(service).service;
  if (!bus.isConnected()) {
    if (whyNot) *whyNot = QStringLiteral("%1: there is no session bus").arg(name);
    return nullptr;
  }
  QDBusConnection connection = bus;
  const QDBusMessage answer =
      connection.call(methodCall(service, QStringLiteral("GetActive")), QDBus::Block, kCallTimeoutMs);
  if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
    if (whyNot) *whyNot = whyNoAnswer(service, answer, QStringLiteral("does not tell the lock"));
    return nullptr;
  }
  return std::unique_ptr<ScreenSaverLockMonitor>(
      new ScreenSaverLockMonitor(bus, service, answer.arguments().constFirst().toBool()));
}

ScreenSaverLockMonitor::ScreenSaverLockMonitor(const QDBusConnection& bus, ScreenSaverService service, bool active)
    : bus_(bus), service_(service), locked_(active) {
  const ScreenSaverAddress& a = addressOf(service_);
  bus_.connect(a.service, a.path, a.interface, QStringLiteral("ActiveChanged"), this, SLOT(activeChanged(bool)));
  ownerWatch_ = new QDBusServiceWatcher(a.service, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(ownerWatch_, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) { ownerChanged(newOwner); });
}

ScreenSaverLockMonitor::~ScreenSaverLockMonitor() {
  const ScreenSaverAddress& a = addressOf(service_);
  bus_.disconnect(a.service, a.path, a.interface, QStringLiteral("ActiveChanged"), this, SLOT(activeChanged(bool)));
}

std::optional<bool> ScreenSaverLockMonitor::isLocked() {
  return locked_;
}

void ScreenSaverLockMonitor::setChangedHandler(std::function<void()> handler) {
  handler_ = std::move(handler);
}

QString ScreenSaverLockMonitor::describe() const {
  return QStringLiteral("ActiveChanged of the desktop's %1").arg(addressOf(service_).service);
}

void ScreenSaverLockMonitor::activeChanged(bool active) {
  set(active);
}

void ScreenSaverLockMonitor::set(std::optional<bool> locked) {
  if (locked == locked_) return;
  locked_ = locked;
  if (handler_) handler_();
}

void ScreenSaverLockMonitor::ownerChanged(const QString& newOwner) {
  const QString name = addressOf(service_).service;
  if (newOwner.isEmpty()) {
    log("%@ left the session bus; the lock is unknown until it is back", name);
    set(std::nullopt);
    return;
  }
  // A new locker starts with a state of its own.
  auto* pending = new QDBusPendingCallWatcher(
      bus_.asyncCall(methodCall(service_, QStringLiteral("GetActive")), kCallTimeoutMs), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending] {
    pending->deleteLater();
    const QDBusMessage reply = pending->reply();
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
      set(reply.arguments().constFirst().toBool());
  });
}

}  // namespace screensaver
}  // namespace ostrel::platform
