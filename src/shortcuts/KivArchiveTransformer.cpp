#include "KivArchiveTransformer.h"

#include "common/Log.h"

namespace ostrel {

std::optional<KivShortcut> KivArchiveTransformer::transformedValue(const QVariant& stored) const {
  switch (stored.typeId()) {
    case QMetaType::UnknownType:
      return std::nullopt;
    case QMetaType::QByteArray:
      return KivShortcut::unarchive(stored.toByteArray());
    case QMetaType::QVariantMap:
      return KivShortcut::decode(stored.toMap());
    default:
      log("Ignoring a stored shortcut: expected archive bytes, found a value of type %s", stored.typeName());
      return std::nullopt;
  }
}

QVariant KivArchiveTransformer::reverseTransformedValue(const std::optional<KivShortcut>& shortcut) const {
  return shortcut ? QVariant(shortcut->archivedData()) : QVariant();
}

}  // namespace ostrel
