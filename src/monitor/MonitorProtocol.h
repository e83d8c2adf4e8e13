#pragma once
// The monitor's protocol in one table: the command codes, the rule each code
// applies to its parameter, the parameters that can be read back and the range
// of every setting in the monitor's own values. The window, the global
// shortcuts, ostrelctl, the bus service and the reply decoder all take their
// numbers from here, so a range is written down once.
//
// Settings (monitor values, not list positions):
//   contrast 1..9, image mode 2..4 (text, graphic, video), refresh speed 1..5,
//   front light mode 0..3 (off, cold, warm, mixed), brightness and colour
//   temperature 0..100; the front light exists on MCU version 48 only.
// Parameter rules of the encoder (sendCommand): codes 1..6 and 240 replace an
// out-of-range parameter by a fixed value; code 10 refuses an identifier the
// monitor does not know; codes 7, 8, 9 and unknown codes send the low 8 bits.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ostrel::protocol {

// Command codes.
inline constexpr std::int32_t kSetContrast = 1;
inline constexpr std::int32_t kSetImageMode = 2;
inline constexpr std::int32_t kRefresh = 3;
inline constexpr std::int32_t kSetRefreshSpeed = 4;
inline constexpr std::int32_t kClockSync = 5;
inline constexpr std::int32_t kInputEvent = 6;  // from the monitor: its own keys and pointer
inline constexpr std::int32_t kSetFrontLightMode = 7;
inline constexpr std::int32_t kSetTemperature = 8;
inline constexpr std::int32_t kSetBrightness = 9;
inline constexpr std::int32_t kReadParameter = 10;

// Read-parameter identifiers beyond the settings'.
inline constexpr std::int32_t kMCUVersionIdentifier = 16;
inline constexpr std::int32_t kFrontLightMCUVersion = 48;

// 16, 32 or 48: the versions of monitors Ostrel knows.
bool isKnownMCUVersion(std::int64_t version);

enum class MonitorSetting { Contrast, ImageMode, RefreshSpeed, FrontLightMode, Brightness, Temperature };

struct SettingRange {
  MonitorSetting setting;
  const char* label;        // "contrast", as messages name it
  std::int32_t command;     // the code that sets it and that the monitor announces it with
  std::int32_t identifier;  // its read-parameter identifier
  std::int32_t minimum;
  std::int32_t maximum;
  bool needsFrontLight;
};

const SettingRange& settingRange(MonitorSetting setting);
bool inRange(MonitorSetting setting, std::int64_t value);

// The setting a notice with this command code announces (1, 2, 4, 7, 8, 9).
std::optional<MonitorSetting> settingAnnouncedBy(std::int32_t command);
// The setting a parameter report with this identifier carries (1, 2, 3, 4, 7, 8, 9).
std::optional<MonitorSetting> settingReportedAs(std::int32_t identifier);

// The parameter that goes into a frame with this command code, or nothing when
// the command must be refused.
std::optional<std::int32_t> parameterFor(std::int32_t command, std::int32_t parameter);

// The window's full read-back: contrast, image mode, refresh speed, then, on
// monitors with a front light, its mode, brightness and temperature.
std::vector<MonitorSetting> readBackFor(std::int32_t mcuVersion);

// One contrast shortcut step on list positions 0..8: up wraps 9 to 1, down 1 to 9.
std::int32_t contrastStep(std::int32_t position, bool upwards);

}  // namespace ostrel::protocol
