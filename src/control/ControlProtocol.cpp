#include "control/ControlProtocol.h"

#include "settings/ProgramValues.h"

namespace ostrel {

const QString OstrelBusServiceName = QStringLiteral("VELDOR.Ostrel");
const QString OstrelBusObjectPath = QStringLiteral("/VELDOR/Ostrel");
const QString OstrelBusInterfaceName = QStringLiteral("VELDOR.Ostrel1");
const QString OstrelBusErrorOutOfRange = QStringLiteral("VELDOR.Ostrel1.Error.OutOfRange");
const QString OstrelBusErrorNoMonitor = QStringLiteral("VELDOR.Ostrel1.Error.NoMonitor");
const QString OstrelBusErrorNotSupported = QStringLiteral("VELDOR.Ostrel1.Error.NotSupported");
const QString OstrelBusErrorStartAtLoginFailed = QStringLiteral("VELDOR.Ostrel1.Error.StartAtLoginFailed");
const QString OstrelBusErrorWriteFailed = QStringLiteral("VELDOR.Ostrel1.Error.WriteFailed");
const QString OstrelBusErrorNotReady = QStringLiteral("VELDOR.Ostrel1.Error.NotReady");

namespace {

QString nameAt(const QStringList& names, std::int32_t index) {
  return index >= 0 && index < names.size() ? names.at(index) : QString();
}

}  // namespace

const ControlSettingRange& controlSettingRange(ControlSetting setting) {
  return protocol::settingRange(setting);
}

std::optional<QString> refuseOutOfRange(ControlSetting setting, std::int64_t value) {
  const ControlSettingRange& range = controlSettingRange(setting);
  if (protocol::inRange(setting, value)) return std::nullopt;
  return QStringLiteral("%1 must be %2..%3, not %4")
      .arg(QString::fromLatin1(range.label))
      .arg(range.minimum)
      .arg(range.maximum)
      .arg(value);
}

std::optional<QString> refusePageRefresh(std::int64_t pageTurns) {
  if (pageTurns >= 0 && pageTurns <= kLongestPageRefresh) return std::nullopt;
  return QStringLiteral("page refresh must be 0..%1, not %2").arg(kLongestPageRefresh).arg(pageTurns);
}

const QStringList& imageModeNames() {
  static const QStringList names{QStringLiteral("text"), QStringLiteral("graphic"), QStringLiteral("video")};
  return names;
}

const QStringList& frontLightModeNames() {
  static const QStringList names{QStringLiteral("off"), QStringLiteral("cold"), QStringLiteral("warm"),
                                 QStringLiteral("mixed")};
  return names;
}

const QStringList& refreshSpeedNames() {
  static const QStringList names{QStringLiteral("Fast"), QStringLiteral("Fast+"), QStringLiteral("Fast++"),
                                 QStringLiteral("Fast+++"), QStringLiteral("Fast++++")};
  return names;
}

QString imageModeName(std::int32_t mode) {
  return nameAt(imageModeNames(), mode - 2);
}
QString frontLightModeName(std::int32_t mode) {
  return nameAt(frontLightModeNames(), mode);
}
QString refreshSpeedName(std::int32_t speed) {
  return nameAt(refreshSpeedNames(), speed - 1);
}

}  // namespace ostrel
