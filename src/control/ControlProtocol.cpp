#include "control/ControlProtocol.h"

#include <array>

namespace ostrel {

const QString OstrelBusServiceName = QStringLiteral("VELDOR.Ostrel");
const QString OstrelBusObjectPath = QStringLiteral("/VELDOR/Ostrel");
const QString OstrelBusInterfaceName = QStringLiteral("VELDOR.Ostrel1");
const QString OstrelBusErrorOutOfRange = QStringLiteral("VELDOR.Ostrel1.Error.OutOfRange");
const QString OstrelBusErrorNoMonitor = QStringLiteral("VELDOR.Ostrel1.Error.NoMonitor");
const QString OstrelBusErrorNotSupported = QStringLiteral("VELDOR.Ostrel1.Error.NotSupported");
const QString OstrelBusErrorStartAtLoginFailed = QStringLiteral("VELDOR.Ostrel1.Error.StartAtLoginFailed");

namespace {

constexpr std::array<ControlSettingRange, 6> kRanges{{
    {ControlSetting::Contrast, "contrast", 1, 9, false},
    {ControlSetting::ImageMode, "image mode", 2, 4, false},
    {ControlSetting::RefreshSpeed, "refresh speed", 1, 5, false},
    {ControlSetting::FrontLightMode, "front light mode", 0, 3, true},
    {ControlSetting::Brightness, "brightness", 0, 100, true},
    {ControlSetting::Temperature, "temperature", 0, 100, true},
}};

QString nameAt(const QStringList& names, std::int32_t index) {
  return index >= 0 && index < names.size() ? names.at(index) : QString();
}

}  // namespace

const ControlSettingRange& controlSettingRange(ControlSetting setting) {
  for (const ControlSettingRange& range : kRanges) {
    if (range.setting == setting) return range;
  }
  return kRanges.front();
}

std::optional<QString> refuseOutOfRange(ControlSetting setting, std::int64_t value) {
  const ControlSettingRange& range = controlSettingRange(setting);
  if (value >= range.minimum && value <= range.maximum) return std::nullopt;
  return QStringLiteral("%1 must be %2..%3, not %4")
      .arg(QString::fromLatin1(range.label))
      .arg(range.minimum)
      .arg(range.maximum)
      .arg(value);
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
