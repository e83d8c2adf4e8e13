#pragma once
// One keyboard shortcut: a program virtual key code and the modifier keys held
// with it. An immutable value, safe to share between threads; naming keys
// (keyCodeString and the forms built on it) is for the main thread.
//
// Modifier bits and what they become:
//   Shift   0x20000  -> hotkey bit 0x0200, glyph ⇧
//   Control 0x40000  -> hotkey bit 0x1000, glyph ⌃
//   Option  0x80000  -> hotkey bit 0x0800, glyph ⌥ (the Alt key)
//   Command 0x100000 -> hotkey bit 0x0100, glyph ⌘ (the Super key)
// Built from a key code and flags, a shortcut keeps only these four bits;
// restored from an archive it keeps exactly what was archived.
//
// Archive forms, both carrying "KeyCode" (signed; -1 for no key) and
// "ModifierFlags" (unsigned):
//  - encode()/decode(): a QVariantMap with those two entries.
//  - archivedData()/unarchive(): 21 bytes for the preference file:
//      "KVSC" | version 0x01 | KeyCode int64 big-endian | ModifierFlags uint64 big-endian
// Decoding stores a negative (or too large) KeyCode as the no-key value.
// A truncated, oversized, foreign or wrong-typed archive decodes to nothing and
// logs one line.

#include "platform/KeyCodes.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace ostrel::platform {
class KeyboardLayout;
}

namespace ostrel {

class KivShortcut {
 public:
  static constexpr quint64 kNoKeyCode = 0x7FFFFFFFFFFFFFFFULL;
  static constexpr quint64 kModifierMask = keys::kShortcutModifierMask;
  static constexpr int kArchiveVersion = 1;
  static constexpr int kArchiveSize = 21;

  KivShortcut(quint64 keyCode, quint64 modifierFlags);
  static KivShortcut shortcutWithKeyCode(quint64 keyCode, quint64 modifierFlags);
  // From a key-down or modifier-change event: the 16-bit key code, zero-extended.
  static KivShortcut shortcutWithEvent(std::uint16_t keyCode, quint64 modifierFlags);

  quint64 keyCode() const { return keyCode_; }
  quint64 modifierFlags() const { return modifierFlags_; }

  // What the system hotkey service takes: the key code (0 for no key) and the
  // hotkey bits of the four modifiers.
  quint32 carbonKeyCode() const;
  quint32 carbonFlags() const;

  // ⌃⌥⇧⌘ in this order, one glyph per modifier held; empty for none.
  QString modifierFlagsString() const;
  // The key's name: empty for no key; the fixed name of a special key (↩, F5, the
  // localized "Space"); else the current keyboard layout's unshifted character in
  // upper case, or empty when the layout gives nothing printable.
  QString keyCodeString() const;
  // The key as a menu item's key equivalent: a one-character name in lower case;
  // " " for Space; U+F703+n for Fn (F1..F19); otherwise empty.
  QString keyCodeStringForKeyEquivalent() const;
  // modifierFlagsString() followed by keyCodeString(): ⌃⌥A, ⌘F5.
  QString description() const;

  friend bool operator==(const KivShortcut&, const KivShortcut&) = default;
  // keyCode + modifierFlags, wrapping: different shortcuts may share it.
  std::size_t hash() const { return static_cast<std::size_t>(keyCode_ + modifierFlags_); }

  QVariantMap encode() const;
  static std::optional<KivShortcut> decode(const QVariantMap& archive);
  QByteArray archivedData() const;
  static std::optional<KivShortcut> unarchive(const QByteArray& data);

  // The name a key gets from the text its layout produces: the text in upper
  // case when every character is a letter, mark, digit, punctuation or symbol;
  // empty otherwise (a control character, a space, nothing).
  static QString keyNameFromLayoutText(const QString& text);

  // The layout that names keys for the whole process (main thread). Without one,
  // keys outside the fixed table have no name.
  static void setKeyboardLayout(std::shared_ptr<platform::KeyboardLayout> layout);
  static std::shared_ptr<platform::KeyboardLayout> keyboardLayout();

 private:
  struct Unmasked {};
  KivShortcut(quint64 keyCode, quint64 modifierFlags, Unmasked);
  static KivShortcut fromArchivedIntegers(qint64 keyCode, quint64 modifierFlags);

  quint64 keyCode_;
  quint64 modifierFlags_;
};

inline std::size_t qHash(const KivShortcut& shortcut, std::size_t seed = 0) {
  return shortcut.hash() ^ seed;
}

}  // namespace ostrel

template <>
struct std::hash<ostrel::KivShortcut> {
  std::size_t operator()(const ostrel::KivShortcut& shortcut) const noexcept { return shortcut.hash(); }
};
