#include "monitor/MonitorProtocol.h"

namespace ostrel::protocol {
namespace {

using enum MonitorSetting;

constexpr std::array<SettingRange, 6> kSettings{{
    {Contrast, "contrast", kSetContrast, 1, 1, 9, false},
    {ImageMode, "image mode", kSetImageMode, 2, 2, 4, false},
    {RefreshSpeed, "refresh speed", kSetRefreshSpeed, 4, 1, 5, false},
    {FrontLightMode, "front light mode", kSetFrontLightMode, 7, 0, 3, true},
    {Brightness, "brightness", kSetBrightness, 9, 0, 100, true},
    {Temperature, "temperature", kSetTemperature, 8, 0, 100, true},
}};

// Codes whose parameter is kept within a range, and what replaces one outside it.
struct ParameterRule {
  std::int32_t command;
  std::int32_t minimum;
  std::int32_t maximum;
  std::int32_t otherwise;
};
constexpr std::array<ParameterRule, 7> kRules{{
    {kSetContrast, 1, 9, 1},
    {kSetImageMode, 2, 4, 2},
    {kRefresh, 0, 1, 0},
    {kSetRefreshSpeed, 1, 5, 1},
    {kClockSync, 0, 3, 0},
    {6, 0, 15, 0},
    {240, 0, 3, 0},
}};

// Read-parameter identifiers the monitor knows: 1, 2, 3, 4, 7, 8, 9, 16, 17,
// as bit (identifier - 1); each is sent as itself.
constexpr std::uint32_t kReadableIdentifierMask = 0x181CF;

constexpr std::uint64_t kMCUVersionMask = 0x1000100010000ULL;  // bits 16, 32, 48

}  // namespace

bool isKnownMCUVersion(std::int64_t version) {
  return version >= 0 && version <= 48 && ((kMCUVersionMask >> version) & 1) != 0;
}

const SettingRange& settingRange(MonitorSetting setting) {
  for (const SettingRange& range : kSettings) {
    if (range.setting == setting) return range;
  }
  return kSettings.front();
}

bool inRange(MonitorSetting setting, std::int64_t value) {
  const SettingRange& range = settingRange(setting);
  return value >= range.minimum && value <= range.maximum;
}

std::optional<MonitorSetting> settingAnnouncedBy(std::int32_t command) {
  for (const SettingRange& range : kSettings) {
    if (range.command == command) return range.setting;
  }
  return std::nullopt;
}

std::optional<MonitorSetting> settingReportedAs(std::int32_t identifier) {
  if (identifier == 3) return ImageMode;  // the image mode's second identifier
  for (const SettingRange& range : kSettings) {
    if (range.identifier == identifier) return range.setting;
  }
  return std::nullopt;
}

std::optional<std::int32_t> parameterFor(std::int32_t command, std::int32_t parameter) {
  if (command == kReadParameter) {
    if (parameter < 1 || parameter > 17 || ((kReadableIdentifierMask >> (parameter - 1)) & 1) == 0) {
      return std::nullopt;
    }
    return parameter;
  }
  for (const ParameterRule& rule : kRules) {
    if (rule.command != command) continue;
    return parameter >= rule.minimum && parameter <= rule.maximum ? parameter : rule.otherwise;
  }
  return parameter;  // 7, 8, 9 and unknown codes: no rule
}

std::vector<MonitorSetting> readBackFor(std::int32_t mcuVersion) {
  std::vector<MonitorSetting> settings{Contrast, ImageMode, RefreshSpeed};
  if (mcuVersion == kFrontLightMCUVersion) settings.insert(settings.end(), {FrontLightMode, Brightness, Temperature});
  return settings;
}

std::int32_t contrastStep(std::int32_t position, bool upwards) {
  if (upwards) return position < 8 ? position + 1 : 0;
  return position > 0 ? position - 1 : 8;
}

}  // namespace ostrel::protocol
