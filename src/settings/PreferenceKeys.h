#pragma once
// The keys of Ostrel's preference file. The ten settings are integers (a key
// that was never written reads as 0); monitorAdapter is text of Ostrel's own,
// written by discovery, never by the settings window.

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
// The adapter the monitor was last found on ("usb:1a86:7523:", "path:/dev/ttyS0").
inline constexpr QLatin1String monitorAdapter{"monitorAdapter"};

}  // namespace ostrel::prefkeys
