#include "ostrelctl/RefreshSettingsCommand.h"

#include "control/ControlProtocol.h"
#include "settings/PreferenceKeys.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"

#include <QDBusMessage>

namespace ostrel::ctl {
namespace {

constexpr int kCallTimeoutMs = 10'000;

bool meansNobodyThere(const QString& errorName) {
  return errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
         errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

CtlOutcome failure(ExitCode code, const QString& text) {
  return {code, QString(), QStringLiteral("ostrelctl: %1\n").arg(text)};
}

}  // namespace

bool isRefreshSettingsCommand(CtlCommand command) {
  return command == CtlCommand::PauseWhileIdleOn || command == CtlCommand::PauseWhileIdleOff ||
         command == CtlCommand::PageRefresh;
}

std::optional<CtlOutcome> refreshSettingsThroughOstrel(QDBusConnection bus, const CtlRequest& request) {
  if (!bus.isConnected()) return std::nullopt;
  const bool pages = request.command == CtlCommand::PageRefresh;
  QDBusMessage message =
      QDBusMessage::createMethodCall(OstrelBusServiceName, OstrelBusObjectPath, OstrelBusInterfaceName,
                                     pages ? QStringLiteral("SetPageRefresh") : QStringLiteral("SetPauseWhileIdle"));
  if (pages) {
    message << QVariant::fromValue<int>(request.value);
  } else {
    message << (request.command == CtlCommand::PauseWhileIdleOn);
  }
  message.setAutoStartService(false);
  const QDBusMessage answer = bus.call(message, QDBus::Block, kCallTimeoutMs);
  if (answer.type() != QDBusMessage::ErrorMessage) return CtlOutcome{};
  if (meansNobodyThere(answer.errorName())) return std::nullopt;
  if (answer.errorName() == OstrelBusErrorOutOfRange) return failure(ExitCode::Usage, answer.errorMessage());
  return failure(ExitCode::Failed,
                 QStringLiteral("Ostrel refused the request: %1 (%2)").arg(answer.errorMessage(), answer.errorName()));
}

CtlOutcome refreshSettingsDirectly(PreferenceStore& store, const CtlRequest& request) {
  if (store.isLeavingFileUntouched()) {
    return failure(ExitCode::Failed, QStringLiteral("Ostrel's settings file %1 is unusable; nothing was stored "
                                                    "(confirming Ostrel's settings window writes a new one)")
                                         .arg(store.filePath()));
  }
  if (request.command == CtlCommand::PageRefresh) {
    store.setIntegerForKey(prefkeys::pageRefreshValue, request.value);
  } else {
    store.setIntegerForKey(prefkeys::pauseWhileIdle, request.command == CtlCommand::PauseWhileIdleOn ? 1 : 0);
  }
  if (!store.synchronize()) {
    return failure(ExitCode::Failed,
                   QStringLiteral("Ostrel's settings file %1 could not be written").arg(store.filePath()));
  }
  return {};
}

QVariantMap storedRefreshSettings(const PreferenceStore& store) {
  const AutoClearAtStart start = loadMainWindowPreferences(store);
  return {{QStringLiteral("Period"), start.armTimer ? start.periodSeconds : 0},
          {QStringLiteral("PauseWhileIdle"), PauseWhileIdle != 0},
          {QStringLiteral("PageRefresh"), PageRefreshValue}};
}

}  // namespace ostrel::ctl
