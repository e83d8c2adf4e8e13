#pragma once
// Ostrel's own virtual key codes and modifier bits, used everywhere above the
// platform layer: in the preference store, in shortcuts, in the key monitors and
// in what the monitor's input events ask for. Backends translate to and from the
// system's codes (on X11: keycode = evdev code + 8).

#include <cstdint>

namespace ostrel::keys {

// Modifier bits (device-independent, high 16 bits of a 32-bit mask).
inline constexpr std::uint32_t kCapsLock = 0x10000;
inline constexpr std::uint32_t kShift = 0x20000;
inline constexpr std::uint32_t kControl = 0x40000;
inline constexpr std::uint32_t kOption = 0x80000;   // Alt
inline constexpr std::uint32_t kCommand = 0x100000; // Super
inline constexpr std::uint32_t kShortcutModifierMask = 0x1E0000;

// A few virtual key codes the program names.
inline constexpr std::uint16_t kA = 0;
inline constexpr std::uint16_t kD = 2;
inline constexpr std::uint16_t kQ = 12;
inline constexpr std::uint16_t kW = 13;
inline constexpr std::uint16_t kU = 32;
inline constexpr std::uint16_t kP = 35;
inline constexpr std::uint16_t kReturn = 36;
inline constexpr std::uint16_t kTab = 48;
inline constexpr std::uint16_t kSpace = 49;
inline constexpr std::uint16_t kDelete = 51;
inline constexpr std::uint16_t kEscape = 53;
inline constexpr std::uint16_t kPageUp = 116;
inline constexpr std::uint16_t kForwardDelete = 117;
inline constexpr std::uint16_t kPageDown = 121;
inline constexpr std::uint16_t kDownArrow = 125;
inline constexpr std::uint16_t kUpArrow = 126;

}  // namespace ostrel::keys
