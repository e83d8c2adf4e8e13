#include "platform/logind/LogindLockMonitor.h"

#include "common/Log.h"

#include <unistd.h>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace ostrel::platform {

std::unique_ptr<SessionLockMonitor> createLogindLockMonitor(const QDBusConnection& systemBus, QString* whyNot) {
  return logind::LogindLockMonitor::create(systemBus, whyNot);
}

namespace logind {
namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kLockedHint = QStringLiteral("LockedHint");
constexpr int kCallTimeoutMs = 2000;

QDBusMessage call(QDBusConnection& bus, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments) {
  QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
  message.setArguments(arguments);
  return bus.call(message, QDBus::Block, kCallTimeoutMs);
}

QDBusMessage lockedHintRequest(const QString& sessionPath) {
  QDBusMessage message = QDBusMessage::createMethodCall(kService, sessionPath, kProperties, QStringLiteral("Get"));
  message << kSession << kLockedHint;
  return message;
}

std::optional<bool> lockedHintOf(const QDBusMessage& reply) {
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
  const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
  if (value.typeId() != QMetaType::Bool) return std::nullopt;
  return value.toBool();
}

// The session's object path, or the last refusal in `why`.
QString findSession(QDBusConnection& bus, QString* why) {
  QList<std::pair<QString, QVariantList>> asks;
  const QString id = qEnvironmentVariable("XDG_SESSION_ID");
  if (!id.isEmpty()) asks.append({QStringLiteral("GetSession"), {id}});
  asks.append({QStringLiteral("GetSession"), {QStringLiteral("auto")}});
  asks.append({QStringLiteral("GetSessionByPID"), {QVariant::fromValue(static_cast<uint>(::getpid()))}});
  for (const auto& [method, arguments] : asks) {
    const QDBusMessage reply = call(bus, kManagerPath, kManager, method, arguments);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      const QString path = reply.arguments().constFirst().value<QDBusObjectPath>().path();
      if (!path.isEmpty()) return path;
    }
    *why = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    // Without logind there is nothing more to ask.
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) break;
  }
  return {};
}

}  // namespace

std::unique_ptr<LogindLockMonitor> LogindLockMonitor::create(const QDBusConnection& systemBus, QString* whyNot) {
  if (!systemBus.isConnected()) {
    if (whyNot) *whyNot = QStringLiteral("logind: there is no system bus");
    return nullptr;
  }
  QDBusConnection bus = systemBus;
  QString why;
  const QString path = findSession(bus, &why);
  if (path.isEmpty()) {
    if (whyNot) *whyNot = QStringLiteral("logind knows no session of Ostrel (%1)").arg(why);
    return nullptr;
  }
  const std::optional<bool> locked = lockedHintOf(bus.call(lockedHintRequest(path), QDBus::Block, kCallTimeoutMs));
  if (!locked) {
    if (whyNot) *whyNot = QStringLiteral("logind's session %1 has no LockedHint").arg(path);
    return nullptr;
  }
  return std::unique_ptr<LogindLockMonitor>(new LogindLockMonitor(systemBus, path, *locked));
}

LogindLockMonitor::LogindLockMonitor(const QDBusConnection& bus, QString sessionPath, bool locked)
    : bus_(bus), sessionPath_(std::move(sessionPath)), locked_(locked) {
  bus_.connect(kService, sessionPath_, kProperties, QStringLiteral("PropertiesChanged"), this,
               SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
  ownerWatch_ = new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(ownerWatch_, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) { ownerChanged(newOwner); });
}

LogindLockMonitor::~LogindLockMonitor() {
  bus_.disconnect(kService, sessionPath_, kProperties, QStringLiteral("PropertiesChanged"), this,
                  SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
}

std::optional<bool> LogindLockMonitor::isLocked() {
  return locked_;
}

void LogindLockMonitor::setChangedHandler(std::function<void()> handler) {
  handler_ = std::move(handler);
}

QString LogindLockMonitor::describe() const {
  return QStringLiteral("LockedHint of logind's session %1").arg(sessionPath_);
}

void LogindLockMonitor::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                          const QStringList& invalidated) {
  if (interface != kSession) return;
  if (const auto it = changed.constFind(kLockedHint); it != changed.cend()) {
    set(it->toBool());
  } else if (invalidated.contains(kLockedHint)) {
    readLockedHint();
  }
}

void LogindLockMonitor::readLockedHint() {
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(lockedHintRequest(sessionPath_), kCallTimeoutMs), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending] {
    pending->deleteLater();
    set(lockedHintOf(pending->reply()));
  });
}

void LogindLockMonitor::set(std::optional<bool> locked) {
  if (locked == locked_) return;
  locked_ = locked;
  if (handler_) handler_();
}

void LogindLockMonitor::ownerChanged(const QString& newOwner) {
  if (newOwner.isEmpty()) {
    log("logind left the system bus; the lock is unknown until it is back");
    set(std::nullopt);
    return;
  }
  // A restarted logind keeps its sessions; the hint is read again.
  readLockedHint();
}

}  // namespace logind
}  // namespace ostrel::platform
