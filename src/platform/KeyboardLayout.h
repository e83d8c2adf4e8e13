#pragma once
// Names keys after the user's current keyboard layout. Backend: platform/x11
// (xkbcommon on the X server's keymap).
//
// Contract: unshiftedText() is the UTF-8 text the key produces with no modifiers
// in the layout current at the time of the call (so "a" for virtual code 0 on a
// US layout, "q" on a French one); empty when the key produces nothing or no
// layout is available. Main thread only.

#include <QString>
#include <cstdint>

namespace ostrel::platform {

class KeyboardLayout {
 public:
  virtual ~KeyboardLayout() = default;
  virtual QString unshiftedText(std::uint16_t virtualKeyCode) = 0;
};

}  // namespace ostrel::platform
