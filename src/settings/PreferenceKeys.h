#pragma once
// The keys of Ostrel's preference file. The settings are integers (a key that
// was never written reads as 0, unless its comment says otherwise);
// monitorAdapter is text of Ostrel's own, written by discovery, never by the
// settings window.

#include <QLatin1String>

namespace ostrel::prefkeys {

inline constexpr QLatin1String language{"language"};  // 0 Chinese, other values English
inline constexpr QLatin1String refreshHotKeyCode{"refresh_hot_keycode"};
inline constexpr QLatin1String refreshHotKeyCodeFlags{"refresh_hot_keycode_flags"};
inline constexpr QLatin1String thresholdHotKeyCode{"threshold_hot_keycode"};
inline constexpr QLatin1String thresholdHotKeyCodeFlags{"threshold_hot_keycode_flags"};
inline constexpr QLatin1String thresholdDownHotKeyCode{"threshold_down_hot_keycode"};
inline constexpr QLatin1String thresholdDownHotKeyCodeFlags{"threshold_down_hot_keycode_flags"};
inline constexpr QLatin1String autoClearCheckValue{"autoClearCheckValue"};  // 1 = auto-clear on
inline constexpr QLatin1String autoClearValue{"autoClearValue"};            // period in seconds
inline constexpr QLatin1String autoStart{"autoStart"};
// 1 = Auto Clear rests while the session is idle or locked, 0 = it never rests;
// absent: 1.
inline constexpr QLatin1String pauseWhileIdle{"pauseWhileIdle"};
// A fast refresh after every N page turns, 1..99; 0 (absent) = none.
inline constexpr QLatin1String pageRefreshValue{"pageRefreshValue"};
// The shortest time without input that counts as idle, in seconds (1..9999;
// absent: 60). Only in the file: the settings window does not show it.
inline constexpr QLatin1String idlePauseSeconds{"idlePauseSeconds"};
// The adapter the monitor was last found on ("usb:1a86:7523:", "path:/dev/ttyS0").
inline constexpr QLatin1String monitorAdapter{"monitorAdapter"};

}  // namespace ostrel::prefkeys
