#include "KivLocalizedString.h"

#include "KivStringTable.h"

namespace ostrel {

QString KivLocalizedString(const QString& key, const QString& /*comment*/) {
  const std::shared_ptr<const KivStringTable> table = KivStringTable::processTable();
  return table ? table->lookup(key) : QStringLiteral("XXX");
}

}  // namespace ostrel
