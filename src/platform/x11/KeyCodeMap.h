#pragma once
// Ostrel's virtual key codes and the Linux input layer's (evdev) key codes, one
// table in both directions. Plain data, no X headers: the X11 backends add the
// fixed offset themselves, the tests check every row.

#include <cstdint>
#include <optional>
#include <span>

namespace ostrel::platform::x11 {

struct KeyCodeMapping {
  std::uint16_t virtualKeyCode;
  std::uint16_t evdevCode;
};

// Every mapped key, in virtual key code order.
std::span<const KeyCodeMapping> keyCodeMappings();

std::optional<std::uint16_t> evdevCodeForVirtualKeyCode(std::uint16_t virtualKeyCode);
std::optional<std::uint16_t> virtualKeyCodeForEvdevCode(std::uint16_t evdevCode);

// X servers number keys as evdev code + 8 and only up to 255, so a few evdev keys
// (the Fn key, 464) have no X keycode at all.
inline constexpr std::uint16_t kX11KeycodeOffset = 8;
inline constexpr std::uint16_t kX11MaxKeycode = 255;

std::optional<std::uint8_t> x11KeycodeForVirtualKeyCode(std::uint16_t virtualKeyCode);
std::optional<std::uint16_t> virtualKeyCodeForX11Keycode(std::uint8_t keycode);

// The modifier keys themselves (Command, Shift, Caps Lock, Option, Control, their
// right-hand twins, Fn). Pressing one of them changes the modifier flags; it is
// not a key press of its own.
bool isModifierVirtualKeyCode(std::uint16_t virtualKeyCode);

}  // namespace ostrel::platform::x11
