#include "KivShortcutTransformer.h"

#include "KivArchiveTransformer.h"
#include "KivDictionaryTransformer.h"

namespace ostrel {

std::shared_ptr<const KivShortcutTransformer> KivShortcutTransformer::transformerWithName(const QString& name) {
  static const auto dictionary = std::make_shared<const KivDictionaryTransformer>();
  static const auto archive = std::make_shared<const KivArchiveTransformer>();
  if (name == KivDictionaryTransformerName) return dictionary;
  if (name == KivKeyedUnarchiveFromDataTransformerName) return archive;
  return nullptr;
}

}  // namespace ostrel
