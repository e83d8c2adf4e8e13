#include "KivPreferenceValues.h"

#include "common/Log.h"
#include "settings/PreferenceStore.h"

#include <QVariant>

namespace ostrel {
namespace {
const QString kValuesPrefix = QStringLiteral("values.");
}

KivPreferenceValues::KivPreferenceValues(PreferenceStore& store) : store_(store) {}

std::optional<QString> KivPreferenceValues::preferenceKey(const QString& keyPath) {
  if (!keyPath.startsWith(kValuesPrefix) || keyPath.size() == kValuesPrefix.size()) return std::nullopt;
  return keyPath.mid(kValuesPrefix.size());
}

std::any KivPreferenceValues::valueForKeyPath(const QString& keyPath) const {
  const auto key = preferenceKey(keyPath);
  if (!key) {
    log("KivPreferenceValues: %@ is not a key path of the preferences (values.<key>)", keyPath);
    return QVariant();
  }
  return store_.objectForKey(*key);
}

void KivPreferenceValues::setValueForKeyPath(const std::any& value, const QString& keyPath) {
  const auto key = preferenceKey(keyPath);
  if (!key) {
    log("KivPreferenceValues: %@ is not a key path of the preferences (values.<key>); nothing stored", keyPath);
    return;
  }
  const auto* variant = std::any_cast<QVariant>(&value);
  if (!variant) {
    log("KivPreferenceValues: only stored values can be written to %@ (a transformer is needed); nothing stored",
        keyPath);
    return;
  }
  if (variant->isValid()) {
    store_.setObjectForKey(*key, *variant);
  } else {
    store_.removeObjectForKey(*key);
  }
}

ScopedObserver KivPreferenceValues::observeKeyPath(const QString& keyPath, std::function<void()> changed) {
  const auto key = preferenceKey(keyPath);
  if (!key || !changed) return {};
  return store_.observe([key = *key, changed = std::move(changed)](const QString& changedKey) {
    if (changedKey == key) changed();
  });
}

}  // namespace ostrel
