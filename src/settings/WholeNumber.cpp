#include "WholeNumber.h"

#include <QString>
#include <cmath>
#include <limits>

namespace ostrel {

bool holdsInteger(const QVariant& v) {
  switch (v.typeId()) {
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
      return true;
    default:
      return false;
  }
}

std::optional<qint64> wholeNumber(const QVariant& v) {
  if (holdsInteger(v)) {
    const bool isUnsigned64 = v.typeId() == QMetaType::ULong || v.typeId() == QMetaType::ULongLong;
    if (isUnsigned64 && v.toULongLong() > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) {
      return std::nullopt;
    }
    return v.toLongLong();
  }
  switch (v.typeId()) {
    case QMetaType::Bool:
      return v.toBool() ? 1 : 0;
    case QMetaType::Float:
    case QMetaType::Double: {
      const double d = v.toDouble();
      if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) >= 9.2e18) return std::nullopt;
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

}  // namespace ostrel
