#pragma once
// The xkb key name of each of Ostrel's virtual key codes: what desktops,
// compositors and the GlobalShortcuts portal call that key in a key
// combination. Plain data, shared by the portal backend and the text Ostrel
// writes into a desktop's own keybindings.

#include <algorithm>
#include <array>
#include <cstdint>

namespace ostrel::platform {

struct KeyName {
  std::uint16_t virtualKeyCode;
  const char* name;
};

// Program key codes and the xkb key names of the keys they stand for, in key
// code order. Letters are named upper case, as the XDG examples do. The
// desktop matches key names, not key positions, so each is what a US keymap
// makes of that key: F13 to F20 are XF86 keys there (F19 is none at all).
inline constexpr auto kKeyNames = std::to_array<KeyName>({
    {0, "A"},
    {1, "S"},
    {2, "D"},
    {3, "F"},
    {4, "H"},
    {5, "G"},
    {6, "Z"},
    {7, "X"},
    {8, "C"},
    {9, "V"},
    {10, "less"},
    {11, "B"},
    {12, "Q"},
    {13, "W"},
    {14, "E"},
    {15, "R"},
    {16, "Y"},
    {17, "T"},
    {18, "1"},
    {19, "2"},
    {20, "3"},
    {21, "4"},
    {22, "6"},
    {23, "5"},
    {24, "equal"},
    {25, "9"},
    {26, "7"},
    {27, "minus"},
    {28, "8"},
    {29, "0"},
    {30, "bracketright"},
    {31, "O"},
    {32, "U"},
    {33, "bracketleft"},
    {34, "I"},
    {35, "P"},
    {36, "Return"},
    {37, "L"},
    {38, "J"},
    {39, "apostrophe"},
    {40, "K"},
    {41, "semicolon"},
    {42, "backslash"},
    {43, "comma"},
    {44, "slash"},
    {45, "N"},
    {46, "M"},
    {47, "period"},
    {48, "Tab"},
    {49, "space"},
    {50, "grave"},
    {51, "BackSpace"},
    {53, "Escape"},
    {64, "XF86Launch8"},
    {65, "KP_Decimal"},
    {67, "KP_Multiply"},
    {69, "KP_Add"},
    {75, "KP_Divide"},
    {76, "KP_Enter"},
    {78, "KP_Subtract"},
    {79, "XF86Launch9"},
    {81, "KP_Equal"},
    {82, "KP_0"},
    {83, "KP_1"},
    {84, "KP_2"},
    {85, "KP_3"},
    {86, "KP_4"},
    {87, "KP_5"},
    {88, "KP_6"},
    {89, "KP_7"},
    {90, "XF86AudioMicMute"},
    {91, "KP_8"},
    {92, "KP_9"},
    {96, "F5"},
    {97, "F6"},
    {98, "F7"},
    {99, "F3"},
    {100, "F8"},
    {101, "F9"},
    {103, "F11"},
    {105, "XF86Tools"},
    {106, "XF86Launch7"},
    {107, "XF86Launch5"},
    {109, "F10"},
    {111, "F12"},
    {113, "XF86Launch6"},
    {114, "Insert"},
    {115, "Home"},
    {116, "Page_Up"},
    {117, "Delete"},
    {118, "F4"},
    {119, "End"},
    {120, "F2"},
    {121, "Page_Down"},
    {122, "F1"},
    {123, "Left"},
    {124, "Right"},
    {125, "Down"},
    {126, "Up"},
});

constexpr bool keyNamesSortedByKeyCode() {
  for (std::size_t i = 1; i < kKeyNames.size(); ++i) {
    if (kKeyNames[i - 1].virtualKeyCode >= kKeyNames[i].virtualKeyCode) return false;
  }
  return true;
}
static_assert(keyNamesSortedByKeyCode(), "the lookup below relies on unique, ascending key codes");

// The key's name, or nullptr for a key code without one here (the modifier
// keys themselves, Fn, Num Lock, codes no key has).
constexpr const char* xkbKeyName(std::uint16_t virtualKeyCode) {
  const auto it = std::lower_bound(kKeyNames.begin(), kKeyNames.end(), virtualKeyCode,
                                   [](const KeyName& k, std::uint16_t code) { return k.virtualKeyCode < code; });
  return it == kKeyNames.end() || it->virtualKeyCode != virtualKeyCode ? nullptr : it->name;
}

}  // namespace ostrel::platform
