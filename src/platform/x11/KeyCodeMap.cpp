#include "platform/x11/KeyCodeMap.h"

#include <algorithm>
#include <array>

namespace ostrel::platform::x11 {
namespace {

constexpr std::array kMappings = std::to_array<KeyCodeMapping>({
    {0, 30},     // A
    {1, 31},     // S
    {2, 32},     // D
    {3, 33},     // F
    {4, 35},     // H
    {5, 34},     // G
    {6, 44},     // Z
    {7, 45},     // X
    {8, 46},     // C
    {9, 47},     // V
    {10, 86},    // ISO section (key left of 1 on ISO boards; KEY_102ND)
    {11, 48},    // B
    {12, 16},    // Q
    {13, 17},    // W
    {14, 18},    // E
    {15, 19},    // R
    {16, 21},    // Y
    {17, 20},    // T
    {18, 2},     // 1
    {19, 3},     // 2
    {20, 4},     // 3
    {21, 5},     // 4
    {22, 7},     // 6
    {23, 6},     // 5
    {24, 13},    // Equal
    {25, 10},    // 9
    {26, 8},     // 7
    {27, 12},    // Minus
    {28, 9},     // 8
    {29, 11},    // 0
    {30, 27},    // Right bracket
    {31, 24},    // O
    {32, 22},    // U
    {33, 26},    // Left bracket
    {34, 23},    // I
    {35, 25},    // P
    {36, 28},    // Return
    {37, 38},    // L
    {38, 36},    // J
    {39, 40},    // Quote
    {40, 37},    // K
    {41, 39},    // Semicolon
    {42, 43},    // Backslash
    {43, 51},    // Comma
    {44, 53},    // Slash
    {45, 49},    // N
    {46, 50},    // M
    {47, 52},    // Period
    {48, 15},    // Tab
    {49, 57},    // Space
    {50, 41},    // Grave
    {51, 14},    // Delete (backspace)
    {53, 1},     // Escape
    {54, 126},   // Right Command (right Super)
    {55, 125},   // Command (left Super)
    {56, 42},    // Shift
    {57, 58},    // Caps Lock
    {58, 56},    // Option (left Alt)
    {59, 29},    // Control
    {60, 54},    // Right Shift
    {61, 100},   // Right Option (right Alt)
    {62, 97},    // Right Control
    {63, 464},   // Function
    {64, 187},   // F17
    {65, 83},    // Keypad decimal
    {67, 55},    // Keypad multiply
    {69, 78},    // Keypad plus
    {71, 69},    // Keypad clear (Num Lock position)
    {72, 115},   // Volume up
    {73, 114},   // Volume down
    {74, 113},   // Mute
    {75, 98},    // Keypad divide
    {76, 96},    // Keypad Enter
    {78, 74},    // Keypad minus
    {79, 188},   // F18
    {80, 189},   // F19
    {81, 117},   // Keypad equals
    {82, 82},    // Keypad 0
    {83, 79},    // Keypad 1
    {84, 80},    // Keypad 2
    {85, 81},    // Keypad 3
    {86, 75},    // Keypad 4
    {87, 76},    // Keypad 5
    {88, 77},    // Keypad 6
    {89, 71},    // Keypad 7
    {90, 190},   // F20
    {91, 72},    // Keypad 8
    {92, 73},    // Keypad 9
    {93, 124},   // JIS Yen
    {94, 89},    // JIS underscore (Ro)
    {95, 95},    // JIS keypad comma
    {96, 63},    // F5
    {97, 64},    // F6
    {98, 65},    // F7
    {99, 61},    // F3
    {100, 66},   // F8
    {101, 67},   // F9
    {102, 123},  // JIS Eisu
    {103, 87},   // F11
    {104, 122},  // JIS Kana
    {105, 183},  // F13
    {106, 186},  // F16
    {107, 184},  // F14
    {109, 68},   // F10
    {111, 88},   // F12
    {113, 185},  // F15
    {114, 110},  // Help (Insert position)
    {115, 102},  // Home
    {116, 104},  // Page Up
    {117, 111},  // Forward Delete
    {118, 62},   // F4
    {119, 107},  // End
    {120, 60},   // F2
    {121, 109},  // Page Down
    {122, 59},   // F1
    {123, 105},  // Left arrow
    {124, 106},  // Right arrow
    {125, 108},  // Down arrow
    {126, 103},  // Up arrow
});

constexpr bool sortedByVirtualKeyCode() {
  for (std::size_t i = 1; i < kMappings.size(); ++i) {
    if (kMappings[i - 1].virtualKeyCode >= kMappings[i].virtualKeyCode) return false;
  }
  return true;
}
static_assert(sortedByVirtualKeyCode(), "the lookup below relies on unique, ascending virtual key codes");

// Reverse direction: indexed by evdev code, built once at compile time.
constexpr std::uint16_t kHighestEvdevCode = 511;
constexpr std::uint16_t kNoVirtualKeyCode = 0xFFFF;

constexpr std::array<std::uint16_t, kHighestEvdevCode + 1> buildReverse() {
  std::array<std::uint16_t, kHighestEvdevCode + 1> reverse{};
  reverse.fill(kNoVirtualKeyCode);
  for (const KeyCodeMapping& m : kMappings) reverse[m.evdevCode] = m.virtualKeyCode;
  return reverse;
}
constexpr auto kReverse = buildReverse();

constexpr bool evdevCodesUnique() {
  for (const KeyCodeMapping& m : kMappings) {
    if (m.evdevCode > kHighestEvdevCode || kReverse[m.evdevCode] != m.virtualKeyCode) return false;
  }
  return true;
}
static_assert(evdevCodesUnique(), "two virtual key codes share one evdev code");

}  // namespace

std::span<const KeyCodeMapping> keyCodeMappings() {
  return kMappings;
}

std::optional<std::uint16_t> evdevCodeForVirtualKeyCode(std::uint16_t virtualKeyCode) {
  const auto it = std::lower_bound(kMappings.begin(), kMappings.end(), virtualKeyCode,
                                   [](const KeyCodeMapping& m, std::uint16_t vk) { return m.virtualKeyCode < vk; });
  if (it == kMappings.end() || it->virtualKeyCode != virtualKeyCode) return std::nullopt;
  return it->evdevCode;
}

std::optional<std::uint16_t> virtualKeyCodeForEvdevCode(std::uint16_t evdevCode) {
  if (evdevCode > kHighestEvdevCode || kReverse[evdevCode] == kNoVirtualKeyCode) return std::nullopt;
  return kReverse[evdevCode];
}

std::optional<std::uint8_t> x11KeycodeForVirtualKeyCode(std::uint16_t virtualKeyCode) {
  const auto evdev = evdevCodeForVirtualKeyCode(virtualKeyCode);
  if (!evdev || *evdev + kX11KeycodeOffset > kX11MaxKeycode) return std::nullopt;
  return static_cast<std::uint8_t>(*evdev + kX11KeycodeOffset);
}

std::optional<std::uint16_t> virtualKeyCodeForX11Keycode(std::uint8_t keycode) {
  if (keycode < kX11KeycodeOffset) return std::nullopt;
  return virtualKeyCodeForEvdevCode(static_cast<std::uint16_t>(keycode - kX11KeycodeOffset));
}

bool isModifierVirtualKeyCode(std::uint16_t virtualKeyCode) {
  return virtualKeyCode >= 54 && virtualKeyCode <= 63;
}

}  // namespace ostrel::platform::x11
