#include "ostrelctl/StartAtLoginCommand.h"

#include "control/ControlProtocol.h"
#include "loginitem/StartAtLoginSwitch.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>

namespace ostrel::ctl {
namespace {

constexpr int kCallTimeoutMs = 10'000;

bool meansNobodyThere(const QString& errorName) {
  return errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
         errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

CtlOutcome stateOutcome(bool on) {
  return {ExitCode::Done, on ? QStringLiteral("on\n") : QStringLiteral("off\n"), QString()};
}

CtlOutcome failure(const QString& text) {
  return {ExitCode::Failed, QString(), QStringLiteral("ostrelctl: %1\n").arg(text)};
}

}  // namespace

bool isStartAtLoginCommand(CtlCommand command) {
  return command == CtlCommand::StartAtLoginOn || command == CtlCommand::StartAtLoginOff ||
         command == CtlCommand::StartAtLoginStatus;
}

std::optional<CtlOutcome> startAtLoginThroughOstrel(QDBusConnection bus, const CtlRequest& request) {
  if (!bus.isConnected()) return std::nullopt;
  QDBusMessage message;
  if (request.command == CtlCommand::StartAtLoginStatus) {
    message = QDBusMessage::createMethodCall(OstrelBusServiceName, OstrelBusObjectPath,
                                             QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << OstrelBusInterfaceName << QStringLiteral("StartAtLogin");
  } else {
    message = QDBusMessage::createMethodCall(OstrelBusServiceName, OstrelBusObjectPath, OstrelBusInterfaceName,
                                             QStringLiteral("SetStartAtLogin"));
    message << (request.command == CtlCommand::StartAtLoginOn);
  }
  message.setAutoStartService(false);
  const QDBusMessage answer = bus.call(message, QDBus::Block, kCallTimeoutMs);
  if (answer.type() == QDBusMessage::ErrorMessage) {
    if (meansNobodyThere(answer.errorName())) return std::nullopt;
    if (answer.errorName() == OstrelBusErrorStartAtLoginFailed) return failure(answer.errorMessage());
    return failure(
        QStringLiteral("Ostrel refused the request: %1 (%2)").arg(answer.errorMessage(), answer.errorName()));
  }
  if (request.command != CtlCommand::StartAtLoginStatus) return CtlOutcome{};
  if (answer.arguments().isEmpty()) return failure(QStringLiteral("Ostrel did not say whether it starts at login"));
  return stateOutcome(qdbus_cast<QDBusVariant>(answer.arguments().constFirst()).variant().toBool());
}

CtlOutcome startAtLoginDirectly(const QString& mainExecutable, const CtlRequest& request) {
  StartAtLoginSwitch startAtLogin = StartAtLoginSwitch::forExecutable(mainExecutable);
  if (request.command == CtlCommand::StartAtLoginStatus) return stateOutcome(startAtLogin.isOn());
  const StartAtLoginSwitch::Outcome outcome = startAtLogin.setOn(request.command == CtlCommand::StartAtLoginOn);
  if (!outcome.succeeded()) return failure(outcome.error);
  return {};
}

}  // namespace ostrel::ctl
