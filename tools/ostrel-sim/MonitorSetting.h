#pragma once
// The settings a simulated monitor keeps, with the command code that sets each,
// the identifier that reads it back and the values the panel accepts.

#include <QString>
#include <QStringView>
#include <array>
#include <optional>

namespace ostrel::sim {

enum class Setting { Contrast, Mode, Speed, Light, Temperature, Brightness };

struct SettingInfo {
  Setting setting;
  const char* name;    // as typed on the simulator's console
  const char* label;   // for diagnostics
  int commandCode;     // code of the set command and of the notice
  int readIdentifier;  // identifier of the read-parameter command
  int minimum;
  int maximum;
  int initial;
  bool needsFrontLight;  // only monitors with MCU version 48 have one
};

const std::array<SettingInfo, 6>& allSettings();
const SettingInfo& settingInfo(Setting setting);
std::optional<Setting> settingByName(QStringView name);
std::optional<Setting> settingBySetCode(int commandCode);

}  // namespace ostrel::sim
