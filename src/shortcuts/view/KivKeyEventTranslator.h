#pragma once
// Turns Qt key events into shortcuts in Ostrel's own key codes and modifier bits.
//
// An event from the X server carries the X keycode (nativeScanCode()) and the X
// modifier state (nativeModifiers()). The key code comes from the fixed keycode
// table, so what the recorder takes does not depend on the keyboard layout, just
// like the stored codes; the flags are those the application's key monitors
// compute from the same press, so a recorded shortcut matches them exactly.
//
// Events without native data (offscreen, Wayland, events made by a program) are
// mapped from Qt::Key and Qt's modifiers for the common keys of a US keyboard;
// an unknown key gives the no-key value.
//
// For a press or release of a modifier key itself the flags describe the state
// after the event (pressing Control gives Control, releasing it gives none), which
// is what the recorder shows while the user is still composing a combination.

#include "shortcuts/KivShortcut.h"

#include <QtGlobal>
#include <cstdint>
#include <optional>

class QKeyEvent;

namespace ostrel {

class KivKeyEventTranslator {
 public:
  static KivShortcut shortcutForKeyEvent(const QKeyEvent& event);

  // True for Shift, Control, Alt, Super/Meta, Caps Lock, AltGr and their twins.
  static bool isModifierKeyEvent(const QKeyEvent& event);

  // The virtual key code of a Qt key; keypad keys need `keypad` (Qt reports them
  // with Qt::KeypadModifier). Nothing for keys Ostrel has no code for.
  static std::optional<std::uint16_t> virtualKeyCodeForQtKey(int qtKey, bool keypad);

  // Shift, Control, Alt and Meta (Super) as Ostrel's modifier bits.
  static quint64 flagsForQtModifiers(Qt::KeyboardModifiers modifiers);
};

}  // namespace ostrel
