#pragma once
// How a shortcut is kept in the preference store: a transformer turns the stored
// value into a shortcut (forward) and a shortcut into the value to store
// (reverse). Two are built in and found by name:
//  - KivKeyedUnarchiveFromDataTransformerName: the shortcut's archive bytes
//    (KivShortcut::archivedData()); the binder's default.
//  - KivDictionaryTransformerName: a two-entry map {"keyCode", "modifierFlags"}.

#include "KivShortcut.h"

#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

namespace ostrel {

inline const QString KivDictionaryTransformerName = QStringLiteral("KivDictionaryTransformer");
inline const QString KivKeyedUnarchiveFromDataTransformerName = QStringLiteral("KivKeyedUnarchiveFromData");

class KivShortcutTransformer {
 public:
  virtual ~KivShortcutTransformer() = default;
  // Nothing for an absent value or one the transformer cannot read.
  virtual std::optional<KivShortcut> transformedValue(const QVariant& stored) const = 0;
  virtual QVariant reverseTransformedValue(const std::optional<KivShortcut>& shortcut) const = 0;
  // A one-way transformer only reads stored values; a control bound through it
  // then writes its value untransformed (and says so).
  virtual bool allowsReverseTransformation() const { return true; }

  // The built-in transformer of that name; nothing for another name.
  static std::shared_ptr<const KivShortcutTransformer> transformerWithName(const QString& name);
};

}  // namespace ostrel
