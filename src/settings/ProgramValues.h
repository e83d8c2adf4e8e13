#pragma once
// The program-wide settings values. The preference file is only their
// persistent copy: the main window loads them at start, the settings window
// changes them on OK, and the key monitors compare the six shortcut values at
// every key press. All of them are read and written on the main thread only.

#include <cstdint>

namespace ostrel {

class PreferenceStore;

// 0 = Chinese; any other value English (the shortcut layer: English only for 1).
extern std::int32_t CurrentLanguage;

// Shortcut key codes (program virtual key codes) and modifier flags. They start
// as Control with D, U and P, but loading the main window replaces all six.
extern std::uint32_t RefreshHotkeyKeyCode;
extern std::uint32_t RefreshHotkeyModifierFlags;
extern std::uint32_t ThresholdInfoHotkeyKeyCode;
extern std::uint32_t ThresholdInfoHotkeyModifierFlags;
extern std::uint32_t ThresholdDownInfoHotkeyKeyCode;
extern std::uint32_t ThresholdDownInfoHotkeyModifierFlags;

// What the settings window opened with, and the period it computed on OK.
extern std::int64_t autoClearCheckValue;
extern std::int64_t autoClearValue;
extern std::int64_t autoStart;
extern std::int64_t autoClearValue_exit;

// The language the settings window shows while it is open (0 Chinese, 1 English).
extern std::int32_t currentViewLanguageFlag;

// Whether the main window must arm the auto-clear timer at start, and its period.
struct AutoClearAtStart {
  bool armTimer = false;
  std::int32_t periodSeconds = 0;
};

// Main window start: "language" into CurrentLanguage and the six shortcut keys
// into their values (absent keys give 0, which leaves a shortcut inactive); then
// the auto-clear rule: the timer runs when "autoClearCheckValue" is exactly 1 and
// "autoClearValue", taken as a 32-bit signed number, is above 0. A negative
// period (only another program can write one) arms nothing and logs one line.
AutoClearAtStart loadMainWindowPreferences(const PreferenceStore& store);
AutoClearAtStart loadMainWindowPreferences();  // the standard store

// Settings window start: the three auto-clear / autostart values it opens with.
void loadSettingsWindowPreferences(const PreferenceStore& store);
void loadSettingsWindowPreferences();  // the standard store

}  // namespace ostrel
