#pragma once
// The ten keys of Ostrel's preference file. Every value is an integer; a key
// that was never written reads as 0.

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

}  // namespace ostrel::prefkeys
