#pragma once
// Stores a shortcut as the two-entry map {"keyCode": key code, "modifierFlags":
// flags} (unsigned numbers).
// Forward: a map whose two entries both hold a whole number (see
// settings/WholeNumber.h: numbers, or text that is one) gives KivShortcut::shortcutWithKeyCode() of them, so bits
// outside the four modifiers are dropped. An absent value or an empty map gives
// nothing; any other value gives nothing with one log line.
// Reverse: a shortcut gives the map; nothing gives an empty map.

#include "KivShortcutTransformer.h"

namespace ostrel {

class KivDictionaryTransformer : public KivShortcutTransformer {
 public:
  std::optional<KivShortcut> transformedValue(const QVariant& stored) const override;
  QVariant reverseTransformedValue(const std::optional<KivShortcut>& shortcut) const override;
};

}  // namespace ostrel
