#include "KivDictionaryTransformer.h"

#include "common/Log.h"

#include <QVariantMap>
#include <cmath>

namespace ostrel {
namespace {

const QString kKeyCode = QStringLiteral("keyCode");
const QString kModifierFlags = QStringLiteral("modifierFlags");

std::optional<qint64> integerValue(const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
      return static_cast<qint64>(v.toULongLong());
    case QMetaType::Float:
    case QMetaType::Double: {
      const double d = v.toDouble();
      if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) return std::nullopt;
      return static_cast<qint64>(d);
    }
    case QMetaType::QString: {
      bool ok = false;
      const qint64 n = v.toString().trimmed().toLongLong(&ok, 10);
      if (ok) return n;
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

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
  const std::optional<qint64> keyCode = integerValue(map.value(kKeyCode));
  const std::optional<qint64> flags = integerValue(map.value(kModifierFlags));
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
