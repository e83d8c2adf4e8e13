#include "WholeNumber.h"

#include <QString>
#include <cmath>
#include <limits>

namespace ostrel {

std::optional<qint64> wholeNumber(const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::Bool:
      return v.toBool() ? 1 : 0;
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
      return v.toLongLong();
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
      const qulonglong u = v.toULongLong();
      if (u > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) return std::nullopt;
      return static_cast<qint64>(u);
    }
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
