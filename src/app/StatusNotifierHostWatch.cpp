#include "app/StatusNotifierHostWatch.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace ostrel {
namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kWatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");

}  // namespace

StatusNotifierHostWatch::StatusNotifierHostWatch(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

void StatusNotifierHostWatch::start() {
  if (!bus_.isConnected()) return;
  bus_.connect(kWatcherService, kWatcherPath, kWatcherInterface, QStringLiteral("StatusNotifierHostRegistered"), this,
               SLOT(hostRegistered()));
  watcherService_ = new QDBusServiceWatcher(kWatcherService, bus_, QDBusServiceWatcher::WatchForRegistration, this);
  connect(watcherService_, &QDBusServiceWatcher::serviceRegistered, this, [this] { ask(); });
  ask();
}

void StatusNotifierHostWatch::ask() {
  if (available_) return;
  QDBusMessage get = QDBusMessage::createMethodCall(
      kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << kWatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
  // Asking must not start a watcher that the desktop does not run itself.
  get.setAutoStartService(false);
  auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
  connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    const QDBusPendingReply<QDBusVariant> reply = *finished;
    if (reply.isValid() && reply.value().variant().toBool()) hostRegistered();
  });
}

void StatusNotifierHostWatch::hostRegistered() {
  if (available_) return;
  available_ = true;
  Q_EMIT available();
}

}  // namespace ostrel
