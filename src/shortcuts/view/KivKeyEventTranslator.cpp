#include "KivKeyEventTranslator.h"

#include "platform/KeyCodes.h"
#include "platform/x11/KeyCodeMap.h"
#include "platform/x11/X11Modifiers.h"

#include <QKeyEvent>
#include <array>

namespace ostrel {
namespace {

struct QtKeyCode {
  int qtKey;
  std::uint16_t keyCode;
};

// The main block of a US keyboard, by the character Qt reports. Shifted symbols
// name the key they sit on, so Shift+1 ("!") is still key code 18.
constexpr QtKeyCode kMainKeys[] = {
    {Qt::Key_A, 0},
    {Qt::Key_S, 1},
    {Qt::Key_D, 2},
    {Qt::Key_F, 3},
    {Qt::Key_H, 4},
    {Qt::Key_G, 5},
    {Qt::Key_Z, 6},
    {Qt::Key_X, 7},
    {Qt::Key_C, 8},
    {Qt::Key_V, 9},
    {Qt::Key_B, 11},
    {Qt::Key_Q, 12},
    {Qt::Key_W, 13},
    {Qt::Key_E, 14},
    {Qt::Key_R, 15},
    {Qt::Key_Y, 16},
    {Qt::Key_T, 17},
    {Qt::Key_1, 18},
    {Qt::Key_Exclam, 18},
    {Qt::Key_2, 19},
    {Qt::Key_At, 19},
    {Qt::Key_3, 20},
    {Qt::Key_NumberSign, 20},
    {Qt::Key_4, 21},
    {Qt::Key_Dollar, 21},
    {Qt::Key_6, 22},
    {Qt::Key_AsciiCircum, 22},
    {Qt::Key_5, 23},
    {Qt::Key_Percent, 23},
    {Qt::Key_Equal, 24},
    {Qt::Key_Plus, 24},
    {Qt::Key_9, 25},
    {Qt::Key_ParenLeft, 25},
    {Qt::Key_7, 26},
    {Qt::Key_Ampersand, 26},
    {Qt::Key_Minus, 27},
    {Qt::Key_Underscore, 27},
    {Qt::Key_8, 28},
    {Qt::Key_Asterisk, 28},
    {Qt::Key_0, 29},
    {Qt::Key_ParenRight, 29},
    {Qt::Key_BracketRight, 30},
    {Qt::Key_BraceRight, 30},
    {Qt::Key_O, 31},
    {Qt::Key_U, 32},
    {Qt::Key_BracketLeft, 33},
    {Qt::Key_BraceLeft, 33},
    {Qt::Key_I, 34},
    {Qt::Key_P, 35},
    {Qt::Key_Return, 36},
    {Qt::Key_L, 37},
    {Qt::Key_J, 38},
    {Qt::Key_Apostrophe, 39},
    {Qt::Key_QuoteDbl, 39},
    {Qt::Key_K, 40},
    {Qt::Key_Semicolon, 41},
    {Qt::Key_Colon, 41},
    {Qt::Key_Backslash, 42},
    {Qt::Key_Bar, 42},
    {Qt::Key_Comma, 43},
    {Qt::Key_Less, 43},
    {Qt::Key_Slash, 44},
    {Qt::Key_Question, 44},
    {Qt::Key_N, 45},
    {Qt::Key_M, 46},
    {Qt::Key_Period, 47},
    {Qt::Key_Greater, 47},
    {Qt::Key_Tab, 48},
    {Qt::Key_Backtab, 48},
    {Qt::Key_Space, 49},
    {Qt::Key_QuoteLeft, 50},
    {Qt::Key_AsciiTilde, 50},
    {Qt::Key_Backspace, 51},
    {Qt::Key_Escape, 53},
    {Qt::Key_Super_R, 54},
    {Qt::Key_Super_L, 55},
    {Qt::Key_Meta, 55},
    {Qt::Key_Shift, 56},
    {Qt::Key_CapsLock, 57},
    {Qt::Key_Alt, 58},
    {Qt::Key_Control, 59},
    {Qt::Key_AltGr, 61},
    {Qt::Key_F17, 64},
    {Qt::Key_VolumeUp, 72},
    {Qt::Key_VolumeDown, 73},
    {Qt::Key_VolumeMute, 74},
    {Qt::Key_Enter, 76},
    {Qt::Key_F18, 79},
    {Qt::Key_F19, 80},
    {Qt::Key_F20, 90},
    {Qt::Key_F5, 96},
    {Qt::Key_F6, 97},
    {Qt::Key_F7, 98},
    {Qt::Key_F3, 99},
    {Qt::Key_F8, 100},
    {Qt::Key_F9, 101},
    {Qt::Key_F11, 103},
    {Qt::Key_F13, 105},
    {Qt::Key_F16, 106},
    {Qt::Key_F14, 107},
    {Qt::Key_F10, 109},
    {Qt::Key_F12, 111},
    {Qt::Key_F15, 113},
    {Qt::Key_Help, 114},
    {Qt::Key_Insert, 114},
    {Qt::Key_Home, 115},
    {Qt::Key_PageUp, 116},
    {Qt::Key_Delete, 117},
    {Qt::Key_F4, 118},
    {Qt::Key_End, 119},
    {Qt::Key_F2, 120},
    {Qt::Key_PageDown, 121},
    {Qt::Key_F1, 122},
    {Qt::Key_Left, 123},
    {Qt::Key_Right, 124},
    {Qt::Key_Down, 125},
    {Qt::Key_Up, 126},
};

// Keys that Qt reports with Qt::KeypadModifier.
constexpr QtKeyCode kKeypadKeys[] = {
    {Qt::Key_Period, 65},  {Qt::Key_Comma, 65}, {Qt::Key_Asterisk, 67}, {Qt::Key_Plus, 69},  {Qt::Key_Clear, 71},
    {Qt::Key_NumLock, 71}, {Qt::Key_Slash, 75}, {Qt::Key_Enter, 76},    {Qt::Key_Minus, 78}, {Qt::Key_Equal, 81},
    {Qt::Key_0, 82},       {Qt::Key_1, 83},     {Qt::Key_2, 84},        {Qt::Key_3, 85},     {Qt::Key_4, 86},
    {Qt::Key_5, 87},       {Qt::Key_6, 88},     {Qt::Key_7, 89},        {Qt::Key_8, 91},     {Qt::Key_9, 92},
};

constexpr quint64 kShortcutBits = keys::kShortcutModifierMask;

// The modifier bit that pressing this key adds (0 for Caps Lock, Fn, AltGr).
quint64 ownModifierBit(std::uint16_t keyCode, int qtKey) {
  if (qtKey == Qt::Key_AltGr) return 0;  // a level shift, not Alt, on the layouts that have it
  switch (keyCode) {
    case 54:
    case 55:
      return keys::kCommand;
    case 56:
    case 60:
      return keys::kShift;
    case 58:
    case 61:
      return keys::kOption;
    case 59:
    case 62:
      return keys::kControl;
    default:
      return 0;
  }
}

std::optional<std::uint16_t> nativeKeyCode(const QKeyEvent& event) {
  const quint32 scanCode = event.nativeScanCode();
  if (scanCode == 0 || scanCode > platform::x11::kX11MaxKeycode) return std::nullopt;
  return platform::x11::virtualKeyCodeForX11Keycode(static_cast<std::uint8_t>(scanCode));
}

bool hasNativeData(const QKeyEvent& event) {
  return event.nativeScanCode() != 0 && event.nativeScanCode() <= platform::x11::kX11MaxKeycode;
}

}  // namespace

std::optional<std::uint16_t> KivKeyEventTranslator::virtualKeyCodeForQtKey(int qtKey, bool keypad) {
  if (keypad) {
    for (const QtKeyCode& entry : kKeypadKeys) {
      if (entry.qtKey == qtKey) return entry.keyCode;
    }
  }
  for (const QtKeyCode& entry : kMainKeys) {
    if (entry.qtKey == qtKey) return entry.keyCode;
  }
  return std::nullopt;
}

quint64 KivKeyEventTranslator::flagsForQtModifiers(Qt::KeyboardModifiers modifiers) {
  quint64 flags = 0;
  if (modifiers & Qt::ShiftModifier) flags |= keys::kShift;
  if (modifiers & Qt::ControlModifier) flags |= keys::kControl;
  if (modifiers & Qt::AltModifier) flags |= keys::kOption;
  if (modifiers & Qt::MetaModifier) flags |= keys::kCommand;
  return flags;
}

bool KivKeyEventTranslator::isModifierKeyEvent(const QKeyEvent& event) {
  if (hasNativeData(event)) {
    const auto code = nativeKeyCode(event);
    if (code && platform::x11::isModifierVirtualKeyCode(*code)) return true;
  }
  switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
    case Qt::Key_AltGr:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
      return true;
    default:
      return false;
  }
}

KivShortcut KivKeyEventTranslator::shortcutForKeyEvent(const QKeyEvent& event) {
  std::optional<std::uint16_t> keyCode;
  quint64 flags = 0;
  if (hasNativeData(event)) {
    keyCode = nativeKeyCode(event);
    flags = platform::x11::programFlagsForXModifiers(static_cast<std::uint16_t>(event.nativeModifiers()));
  } else {
    keyCode = virtualKeyCodeForQtKey(event.key(), event.modifiers().testFlag(Qt::KeypadModifier));
    // The state as it was before the event; QKeyEvent::modifiers() would already
    // include a modifier key's own bit, which is added below for both paths.
    flags = flagsForQtModifiers(static_cast<const QInputEvent&>(event).modifiers());
  }
  flags &= kShortcutBits;

  if (isModifierKeyEvent(event) && keyCode) {
    const quint64 own = ownModifierBit(*keyCode, event.key());
    if (event.type() == QEvent::KeyRelease) {
      flags &= ~own;
    } else {
      flags |= own;
    }
  }
  if (!keyCode) return KivShortcut::shortcutWithKeyCode(KivShortcut::kNoKeyCode, flags);
  return KivShortcut::shortcutWithEvent(*keyCode, flags);
}

}  // namespace ostrel
