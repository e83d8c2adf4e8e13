#pragma once
// Stores a shortcut as its archive bytes (KivShortcut::archivedData()).
// Forward: archive bytes, or the archive map of KivShortcut::encode(), give the
// shortcut; an absent value gives nothing; anything else gives nothing with one
// log line. Reverse: a shortcut gives its bytes; nothing gives an absent value.

#include "KivShortcutTransformer.h"

namespace ostrel {

class KivArchiveTransformer : public KivShortcutTransformer {
 public:
  std::optional<KivShortcut> transformedValue(const QVariant& stored) const override;
  QVariant reverseTransformedValue(const std::optional<KivShortcut>& shortcut) const override;
};

}  // namespace ostrel
