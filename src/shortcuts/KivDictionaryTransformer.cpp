#include "KivDictionaryTransformer.h"

#include "common/Log.h"
#include "settings/WholeNumber.h"

#include <QVariantMap>

namespace ostrel {
namespace {

const QString kKeyCode = QStringLiteral("keyCode");
const QString kModifierFlags = QStringLiteral("modifierFlags");

}  // namespace

std::optional<KivShortcut> KivDictionaryTransformer::transformedValue(const QVariant& stored) const {
  if (!stored.isValid()) return std::nullopt;
  if (stored.typeId() != QMetaType::QVariantMap) {
    log("Ignoring a stored shortcut: expected a map of keyCode and modifierFlags, found a value of type %s",
        stored.typeName());
    return std::nullopt;
  }
  const QVariantMap map = stored.toMap();
  if (map.isEmpty()) return std::nullopt;
  const std::optional<qint64> keyCode = wholeNumber(map.value(kKeyCode));
  const std::optional<qint64> flags = wholeNumber(map.value(kModifierFlags));
  if (!keyCode || !flags) {
    log("Ignoring a stored shortcut: keyCode and modifierFlags must both be whole numbers");
    return std::nullopt;
  }
  return KivShortcut::shortcutWithKeyCode(static_cast<quint64>(*keyCode), static_cast<quint64>(*flags));
}

QVariant KivDictionaryTransformer::reverseTransformedValue(const std::optional<KivShortcut>& shortcut) const {
  if (!shortcut) return QVariantMap();
  return QVariantMap{{kKeyCode, shortcut->keyCode()}, {kModifierFlags, shortcut->modifierFlags()}};
}

}  // namespace ostrel
