#include "BusTestClient.h"

#include "control/ControlProtocol.h"

#include <QDBusArgument>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>

namespace ostrel::test {

bool spinUntil(const std::function<bool()>& done, int timeoutMs) {
  if (done()) return true;
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  poll.start();
  loop.exec();
  return done();
}

void spinFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

BusTestClient::BusTestClient(const QString& connectionName)
    : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)), name_(connectionName) {}

BusTestClient::~BusTestClient() {
  QDBusConnection::disconnectFromBus(name_);
}

QDBusMessage BusTestClient::call(const QString& method, const QVariantList& arguments, const QString& destination,
                                 int timeoutMs) {
  QDBusMessage message = QDBusMessage::createMethodCall(destination.isEmpty() ? OstrelBusServiceName : destination,
                                                        OstrelBusObjectPath, OstrelBusInterfaceName, method);
  message.setArguments(arguments);
  QDBusPendingCall pending = bus_.asyncCall(message, timeoutMs);
  spinUntil([&pending] { return pending.isFinished(); }, timeoutMs + 2000);
  return pending.reply();
}

QVariant BusTestClient::property(const QString& name) {
  QDBusMessage message =
      QDBusMessage::createMethodCall(OstrelBusServiceName, OstrelBusObjectPath,
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  message << OstrelBusInterfaceName << name;
  QDBusPendingCall pending = bus_.asyncCall(message);
  spinUntil([&pending] { return pending.isFinished(); }, 10000);
  const QDBusMessage reply = pending.reply();
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
}

QVariantMap BusTestClient::allProperties() {
  QDBusMessage message =
      QDBusMessage::createMethodCall(OstrelBusServiceName, OstrelBusObjectPath,
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
  message << OstrelBusInterfaceName;
  QDBusPendingCall pending = bus_.asyncCall(message);
  spinUntil([&pending] { return pending.isFinished(); }, 10000);
  const QDBusMessage reply = pending.reply();
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return qdbus_cast<QVariantMap>(reply.arguments().constFirst());
}

PropertiesChangedRecorder::PropertiesChangedRecorder(QDBusConnection& bus) {
  bus.connect(OstrelBusServiceName, OstrelBusObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
              QStringLiteral("PropertiesChanged"), this, SLOT(record(QString, QVariantMap, QStringList)));
}

void PropertiesChangedRecorder::record(const QString& interfaceName, const QVariantMap& changed,
                                       const QStringList& invalidated) {
  if (interfaceName != OstrelBusInterfaceName || !invalidated.isEmpty()) {
    // Only our interface, and only with values: anything else is a fault the
    // tests should see.
    changes_.push_back({{QStringLiteral("<unexpected>"), interfaceName}});
    return;
  }
  changes_.push_back(changed);
}

bool PropertiesChangedRecorder::waitFor(const QString& name, const QVariant& value, std::size_t from, int timeoutMs) {
  return spinUntil(
      [&] {
        for (std::size_t i = from; i < changes_.size(); ++i) {
          if (changes_[i].contains(name) && changes_[i].value(name) == value) return true;
        }
        return false;
      },
      timeoutMs);
}

}  // namespace ostrel::test
