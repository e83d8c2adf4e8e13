#include "ostrel-sim/MonitorSetting.h"

namespace ostrel::sim {

const std::array<SettingInfo, 6>& allSettings() {
  // Defaults are what a panel fresh from the factory would plausibly show:
  // middle contrast, text mode, middle speed, front light off.
  static const std::array<SettingInfo, 6> table{{
      {Setting::Contrast, "contrast", "contrast threshold", 1, 1, 1, 9, 5, false},
      {Setting::Mode, "mode", "image mode", 2, 2, 2, 4, 2, false},
      {Setting::Speed, "speed", "refresh speed", 4, 4, 1, 5, 3, false},
      {Setting::Light, "light", "front light mode", 7, 7, 0, 3, 0, true},
      {Setting::Temperature, "temperature", "front light colour temperature", 8, 8, 0, 100, 50, true},
      {Setting::Brightness, "brightness", "front light brightness", 9, 9, 0, 100, 50, true},
  }};
  return table;
}

const SettingInfo& settingInfo(Setting setting) {
  for (const SettingInfo& info : allSettings()) {
    if (info.setting == setting) return info;
  }
  return allSettings().front();
}

std::optional<Setting> settingByName(QStringView name) {
  for (const SettingInfo& info : allSettings()) {
    if (name.compare(QLatin1StringView(info.name), Qt::CaseInsensitive) == 0) return info.setting;
  }
  return std::nullopt;
}

std::optional<Setting> settingBySetCode(int commandCode) {
  for (const SettingInfo& info : allSettings()) {
    if (info.commandCode == commandCode) return info.setting;
  }
  return std::nullopt;
}

}  // namespace ostrel::sim
