// Key events to shortcuts: the X keycode and state of real events, Qt's key and
// modifiers when an event has no native data.

#include "RecorderTestSupport.h"
#include "shortcuts/view/KivKeyEventTranslator.h"

#include <gtest/gtest.h>
#include <QKeyEvent>

namespace ostrel {
namespace {

constexpr quint64 kShift = 0x20000;
constexpr quint64 kControl = 0x40000;
constexpr quint64 kOption = 0x80000;
constexpr quint64 kCommand = 0x100000;

// X core state bits.
constexpr quint32 kXShift = 0x1;
constexpr quint32 kXLock = 0x2;
constexpr quint32 kXControl = 0x4;
constexpr quint32 kXMod1 = 0x8;
constexpr quint32 kXMod2 = 0x10;  // Num Lock
constexpr quint32 kXMod4 = 0x40;

struct NativeCase {
  const char* name;
  QEvent::Type type;
  int qtKey;  // what Qt would also say; the native data must win
  quint32 x11Keycode;
  quint32 xState;
  quint64 keyCode;
  quint64 flags;
  bool modifierKey;
};

TEST(KeyEventTranslation, NativeEventsUseTheKeycodeTableAndTheXState) {
  const NativeCase cases[] = {
      {"Control+A", QEvent::KeyPress, Qt::Key_A, 38, kXControl, 0, kControl, false},
      {"the A position on a French layout is still code 0", QEvent::KeyPress, Qt::Key_Q, 38, kXControl, 0, kControl,
       false},
      {"Caps Lock and Num Lock are not part of a shortcut", QEvent::KeyPress, Qt::Key_D, 40,
       kXControl | kXLock | kXMod2, 2, kControl, false},
      {"Alt is Option, Super is Command", QEvent::KeyPress, Qt::Key_F5, 71, kXMod1 | kXMod4 | kXShift, 96,
       kShift | kOption | kCommand, false},
      {"pressing Control holds Control", QEvent::KeyPress, Qt::Key_Control, 37, 0, 59, kControl, true},
      {"releasing Control holds nothing", QEvent::KeyRelease, Qt::Key_Control, 37, kXControl, 59, 0, true},
      {"pressing the right Alt while Control is held", QEvent::KeyPress, Qt::Key_Alt, 108, kXControl, 61,
       kControl | kOption, true},
      {"pressing Super", QEvent::KeyPress, Qt::Key_Super_L, 133, 0, 55, kCommand, true},
      {"Caps Lock itself adds no bit", QEvent::KeyPress, Qt::Key_CapsLock, 66, kXShift, 57, kShift, true},
      {"a keycode without a program code is no key", QEvent::KeyPress, Qt::Key_unknown, 255, kXControl,
       KivShortcut::kNoKeyCode, kControl, false},
  };
  for (const NativeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QKeyEvent event(c.type, c.qtKey, Qt::NoModifier, c.x11Keycode, 0, c.xState);
    const KivShortcut shortcut = KivKeyEventTranslator::shortcutForKeyEvent(event);
    EXPECT_EQ(shortcut.keyCode(), c.keyCode);
    EXPECT_EQ(shortcut.modifierFlags(), c.flags);
    EXPECT_EQ(KivKeyEventTranslator::isModifierKeyEvent(event), c.modifierKey);
  }
}

struct QtCase {
  const char* name;
  QEvent::Type type;
  int qtKey;
  Qt::KeyboardModifiers modifiers;  // as Qt reports them before the event
  quint64 keyCode;
  quint64 flags;
};

TEST(KeyEventTranslation, EventsWithoutNativeDataUseQtsKeyAndModifiers) {
  const QtCase cases[] = {
      {"Control+A", QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, 0, kControl},
      {"Shift+1 reports '!' on the 1 key", QEvent::KeyPress, Qt::Key_Exclam, Qt::ShiftModifier, 18, kShift},
      {"Meta is Command", QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier | Qt::AltModifier, 40, kCommand | kOption},
      {"keypad 5", QEvent::KeyPress, Qt::Key_5, Qt::KeypadModifier | Qt::ControlModifier, 87, kControl},
      {"main 5", QEvent::KeyPress, Qt::Key_5, Qt::ControlModifier, 23, kControl},
      {"keypad Enter", QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier, 76, 0},
      {"Backspace is Delete", QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier, 51, 0},
      {"Delete is Forward Delete", QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, 117, 0},
      {"Backtab is Tab", QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier, 48, kShift},
      {"F20", QEvent::KeyPress, Qt::Key_F20, Qt::NoModifier, 90, 0},
      {"pressing Shift", QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier, 56, kShift},
      {"releasing Alt with Control held", QEvent::KeyRelease, Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier, 58,
       kControl},
      {"an unknown key is no key", QEvent::KeyPress, Qt::Key_Launch0, Qt::ControlModifier, KivShortcut::kNoKeyCode,
       kControl},
  };
  for (const QtCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QKeyEvent event(c.type, c.qtKey, c.modifiers);
    const KivShortcut shortcut = KivKeyEventTranslator::shortcutForKeyEvent(event);
    EXPECT_EQ(shortcut.keyCode(), c.keyCode);
    EXPECT_EQ(shortcut.modifierFlags(), c.flags);
  }
}

}  // namespace
}  // namespace ostrel
