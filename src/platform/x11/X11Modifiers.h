#pragma once
// Translation between X's core modifier mask and Ostrel's modifier bits (the key
// monitor's event bits and the hotkey service's bits). Plain numbers, no X
// headers, so the rules are tested without a display.

#include <cstdint>
#include <vector>

namespace ostrel::platform::x11 {

// X core modifier mask bits (the protocol's fixed values).
inline constexpr std::uint16_t kXShiftMask = 0x0001;
inline constexpr std::uint16_t kXLockMask = 0x0002;
inline constexpr std::uint16_t kXControlMask = 0x0004;
inline constexpr std::uint16_t kXMod1Mask = 0x0008;  // Alt on every common layout
inline constexpr std::uint16_t kXMod4Mask = 0x0040;  // Super on every common layout
inline constexpr std::uint16_t kXModifierBits = 0x00FF;

// The hotkey service's modifier bits.
inline constexpr std::uint32_t kHotKeyCommand = 0x0100;
inline constexpr std::uint32_t kHotKeyShift = 0x0200;
inline constexpr std::uint32_t kHotKeyOption = 0x0800;
inline constexpr std::uint32_t kHotKeyControl = 0x1000;
inline constexpr std::uint32_t kHotKeyModifierBits = kHotKeyCommand | kHotKeyShift | kHotKeyOption | kHotKeyControl;

// Effective X modifiers -> the key monitor's bits: Shift, Control, Alt (Option),
// Super (Command) and Caps Lock (the Lock state). Num Lock, AltGr and the pointer
// buttons have no bit of their own and are dropped.
std::uint32_t programFlagsForXModifiers(std::uint16_t xModifiers);

// Hotkey-service bits -> X modifiers; false when bits outside the four known ones
// are set (grabbing a broader combination than asked for would take keys from
// other applications).
bool xModifiersForHotKeyModifiers(std::uint32_t hotKeyModifiers, std::uint16_t* xModifiers);

// The modifier sets to grab so that Caps Lock and Num Lock being on do not defeat
// a hotkey: the combination alone, with Lock, with Num Lock, with both. Without a
// Num Lock modifier (numLockMask 0) only two remain. No duplicates.
std::vector<std::uint16_t> lockVariants(std::uint16_t xModifiers, std::uint16_t numLockMask);

// What a key event's state means for matching a grab: its modifier bits without
// the lock modifiers and the pointer buttons.
std::uint16_t withoutLocks(std::uint16_t xState, std::uint16_t numLockMask);

}  // namespace ostrel::platform::x11
