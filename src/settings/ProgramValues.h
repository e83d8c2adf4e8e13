#pragma once
// The program-wide settings values. The preference file is only their
// persistent copy: the main window loads them at start, the settings window
// changes them on OK, and the key monitors compare the six shortcut values at
// every key press. All of them are read and written on the main thread only.

#include <QString>
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

// When Auto Clear refreshes, beyond its period: "Pause while idle" (1: the
// timer rests while the session is locked or nobody has typed or moved the
// pointer for longer than the period, and at least IdlePauseSeconds), "Refresh
// every N page turns" (0: never), and that shortest idle time. In force from
// main window load on; the settings window and the bus change the first two.
extern std::int32_t PauseWhileIdle;
extern std::int32_t PageRefreshValue;
extern std::int32_t IdlePauseSeconds;
inline constexpr std::int32_t kLongestPageRefresh = 99;
inline constexpr std::int32_t kDefaultIdlePauseSeconds = 60;
inline constexpr std::int32_t kLongestIdlePauseSeconds = 9999;

// Whether the main window must arm the auto-clear timer at start, and its period.
struct AutoClearAtStart {
  bool armTimer = false;
  std::int32_t periodSeconds = 0;
};

// Stored values are read within the ranges the settings window writes:
// "language" 0 or 1, "autoClearValue" 0..9999 seconds, key codes 0..65535 and
// modifier flags made of the known modifier bits only (Caps Lock, Shift,
// Control, Option, Command). A value outside its range (a hand-edited or
// damaged file) is read as absent, that is 0, with one log line naming the key
// and the value; the file keeps it until the settings window is confirmed.

// Main window start: "language" into CurrentLanguage and the six shortcut keys
// into their values (absent keys give 0, which leaves a shortcut inactive), the
// three values above ("pauseWhileIdle" 0..1, absent 1; "pageRefreshValue"
// 0..99; "idlePauseSeconds" 1..9999, absent 60; a value outside its range reads
// as absent); then the auto-clear rule: the timer runs when
// "autoClearCheckValue" is exactly 1 and "autoClearValue" is not 0.
AutoClearAtStart loadMainWindowPreferences(const PreferenceStore& store);
AutoClearAtStart loadMainWindowPreferences();  // the standard store

// Settings window start: the three auto-clear / autostart values it opens with.
void loadSettingsWindowPreferences(const PreferenceStore& store);
void loadSettingsWindowPreferences();  // the standard store

// Stores "Pause while idle" (1 or 0) or "Refresh every N page turns" (0..99) and
// writes the file, unless the file is being left alone (it is unusable: the
// value then goes in with the rest when the settings window is confirmed); the
// program-wide value follows at once. A page count outside 0..99 is refused:
// false, nothing changes.
void storePauseWhileIdle(PreferenceStore& store, bool on);
bool storePageRefreshValue(PreferenceStore& store, std::int32_t pageTurns);

// The adapter the monitor was last found on ("monitorAdapter", written by
// discovery): "usb:" vendor ":" product ":" serial (ids as four lower-case hex
// digits, the serial printable ASCII without blanks, possibly empty), or
// "path:" and an absolute device path. Anything else in the file is ignored,
// with one log line for each damaged value met, and an empty text comes back.
bool isMonitorAdapterIdentity(const QString& identity);
QString rememberedMonitorAdapter(const PreferenceStore& store);
// Stores a valid identity and writes it to the file, unless the file is being
// left alone (it is unusable); invalid ones are refused with a log line. Any
// thread: the file is written on the caller's (setObjectForKeyAndWrite()).
void rememberMonitorAdapter(PreferenceStore& store, const QString& identity);

}  // namespace ostrel
