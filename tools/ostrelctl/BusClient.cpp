#include "ostrelctl/BusClient.h"

#include "control/ControlProtocol.h"
#include "control/ControlSnapshot.h"
#include "ostrelctl/StatusReport.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantMap>

namespace ostrel::ctl {
namespace {

bool meansNobodyThere(const QString& errorName) {
  return errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
         errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

CtlOutcome failure(ExitCode code, const QString& text) {
  return {code, QString(), QStringLiteral("ostrelctl: %1\n").arg(text)};
}

CtlOutcome outcomeOfError(const QDBusMessage& answer) {
  const QString name = answer.errorName();
  const QString text = answer.errorMessage();
  if (name == OstrelBusErrorOutOfRange) return failure(ExitCode::Usage, text);
  if (name == OstrelBusErrorNoMonitor) return failure(ExitCode::NoMonitor, text);
  if (name == OstrelBusErrorNotSupported) return failure(ExitCode::Failed, text);
  if (name == OstrelBusErrorWriteFailed) return failure(ExitCode::Failed, text);
  if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
      name == QLatin1String("org.freedesktop.DBus.Error.Timeout")) {
    return failure(ExitCode::Failed, QStringLiteral("Ostrel did not answer in time (%1)").arg(text));
  }
  return failure(ExitCode::Failed, QStringLiteral("Ostrel refused the request: %1 (%2)").arg(text, name));
}

struct MethodCall {
  const char* method;
  bool takesValue;
};

std::optional<MethodCall> methodFor(CtlCommand command) {
  switch (command) {
    case CtlCommand::Refresh:
      return MethodCall{"Refresh", false};
    case CtlCommand::Contrast:
      return MethodCall{"SetContrast", true};
    case CtlCommand::ContrastUp:
      return MethodCall{"ContrastUp", false};
    case CtlCommand::ContrastDown:
      return MethodCall{"ContrastDown", false};
    case CtlCommand::ImageMode:
      return MethodCall{"SetImageMode", true};
    case CtlCommand::RefreshSpeed:
      return MethodCall{"SetRefreshSpeed", true};
    case CtlCommand::FrontLight:
      return MethodCall{"SetFrontLightMode", true};
    case CtlCommand::Brightness:
      return MethodCall{"SetBrightness", true};
    case CtlCommand::Temperature:
      return MethodCall{"SetTemperature", true};
    case CtlCommand::SyncTime:
      return MethodCall{"SyncTime", false};
    case CtlCommand::Read:
      return MethodCall{"ReadParameters", false};
    case CtlCommand::Status:
    case CtlCommand::Monitors:
    case CtlCommand::Help:
    case CtlCommand::Version:
    case CtlCommand::StartAtLoginOn:
    case CtlCommand::StartAtLoginOff:
    case CtlCommand::StartAtLoginStatus:
    case CtlCommand::GnomeShortcutsAdd:
    case CtlCommand::GnomeShortcutsRemove:
    case CtlCommand::GnomeShortcutsStatus:
    case CtlCommand::Keybindings:
    case CtlCommand::PauseWhileIdleOn:
    case CtlCommand::PauseWhileIdleOff:
    case CtlCommand::PageRefresh:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

BusClient::BusClient(QDBusConnection bus) : bus_(std::move(bus)) {}

std::optional<CtlOutcome> BusClient::call(const QString& method, const QVariantList& arguments, int timeoutMs) {
  QDBusMessage message =
      QDBusMessage::createMethodCall(OstrelBusServiceName, OstrelBusObjectPath, OstrelBusInterfaceName, method);
  message.setArguments(arguments);
  message.setAutoStartService(false);
  const QDBusMessage answer = bus_.call(message, QDBus::Block, timeoutMs);
  if (answer.type() != QDBusMessage::ErrorMessage) return CtlOutcome{};
  if (meansNobodyThere(answer.errorName())) return std::nullopt;
  return outcomeOfError(answer);
}

std::optional<CtlOutcome> BusClient::report(const CtlRequest& request) {
  registerControlTypes();
  QDBusMessage message =
      QDBusMessage::createMethodCall(OstrelBusServiceName, OstrelBusObjectPath,
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
  message << OstrelBusInterfaceName;
  message.setAutoStartService(false);
  const QDBusMessage answer = bus_.call(message, QDBus::Block, kCallTimeoutMs);
  if (answer.type() == QDBusMessage::ErrorMessage) {
    if (meansNobodyThere(answer.errorName())) return std::nullopt;
    return outcomeOfError(answer);
  }
  const QVariantMap properties =
      answer.arguments().isEmpty() ? QVariantMap() : qdbus_cast<QVariantMap>(answer.arguments().constFirst());
  StatusValues values = StatusValues::fromBusProperties(properties);

  CtlOutcome outcome;
  if (request.command == CtlCommand::Monitors) {
    // Ostrel keeps it in the settings file, the same for both of us.
    values.adapter = rememberedMonitorAdapter(PreferenceStore::standard());
    outcome.output = request.json ? QString::fromUtf8(monitorsJson(values)) : monitorsText(values);
  } else {
    outcome.output = request.json ? QString::fromUtf8(statusJson(values)) : statusText(values);
  }
  if (!values.hasMonitor()) {
    outcome.code = ExitCode::NoMonitor;
    // The status says so itself; an empty list needs the words.
    if (request.command == CtlCommand::Monitors && !request.json) {
      outcome.error = QStringLiteral("ostrelctl: no monitor is connected\n");
    }
  }
  return outcome;
}

std::optional<CtlOutcome> BusClient::run(const CtlRequest& request) {
  if (!bus_.isConnected()) return std::nullopt;
  if (request.command == CtlCommand::Status || request.command == CtlCommand::Monitors) return report(request);

  const std::optional<MethodCall> method = methodFor(request.command);
  if (!method) return std::nullopt;
  QVariantList arguments;
  if (method->takesValue) arguments << QVariant::fromValue<int>(request.value);
  const int timeout = request.command == CtlCommand::Read ? kReadTimeoutMs : kCallTimeoutMs;
  std::optional<CtlOutcome> outcome = call(QString::fromLatin1(method->method), arguments, timeout);
  if (!outcome || outcome->code != ExitCode::Done) return outcome;
  if (request.command == CtlCommand::Read) return report(request);
  return outcome;
}

}  // namespace ostrel::ctl
