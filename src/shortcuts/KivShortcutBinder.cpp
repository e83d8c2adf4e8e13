#include "KivShortcutBinder.h"

#include "KivShortcutMonitor.h"
#include "common/Log.h"
#include "settings/PreferenceStore.h"

namespace ostrel {

KivShortcutBinder& KivShortcutBinder::sharedBinder() {
  static KivShortcutBinder* const binder =
      new KivShortcutBinder(KivShortcutMonitor::sharedMonitor(), PreferenceStore::standard());
  return *binder;
}

KivShortcutBinder::KivShortcutBinder(std::shared_ptr<KivShortcutMonitor> monitor, PreferenceStore& store)
    : store_(store), shortcutMonitor_(std::move(monitor)) {
  storeObservation_ = store_.observe([this](const QString& key) { storedValueChanged(key); });
}

KivShortcutBinder::~KivShortcutBinder() {
  storeObservation_.reset();
  while (!actions_.empty()) breakBindingWithDefaultsKey(actions_.begin()->first);
}

std::shared_ptr<KivShortcutMonitor> KivShortcutBinder::shortcutMonitor() const {
  std::lock_guard lock(propertiesMutex_);
  return shortcutMonitor_;
}

void KivShortcutBinder::setShortcutMonitor(std::shared_ptr<KivShortcutMonitor> monitor) {
  std::lock_guard lock(propertiesMutex_);
  shortcutMonitor_ = std::move(monitor);
}

KivBindingOptions KivShortcutBinder::bindingOptions() const {
  std::lock_guard lock(propertiesMutex_);
  return bindingOptions_;
}

void KivShortcutBinder::setBindingOptions(KivBindingOptions options) {
  std::lock_guard lock(propertiesMutex_);
  bindingOptions_ = std::move(options);
}

std::shared_ptr<const KivShortcutTransformer> KivShortcutBinder::transformer() const {
  const KivBindingOptions options = bindingOptions();
  if (options.valueTransformer) return options.valueTransformer;
  return KivShortcutTransformer::transformerWithName(options.valueTransformerName);
}

void KivShortcutBinder::bindShortcutWithDefaultsKey(const QString& defaultsKey, std::function<void()> action) {
  actions_.insert_or_assign(defaultsKey, std::move(action));
  storedValueChanged(defaultsKey);
}

void KivShortcutBinder::breakBindingWithDefaultsKey(const QString& defaultsKey) {
  const auto recorded = shortcuts_.find(defaultsKey);
  if (recorded != shortcuts_.end()) {
    if (const std::shared_ptr<KivShortcutMonitor> monitor = shortcutMonitor())
      monitor->unregisterShortcut(recorded->second);
    shortcuts_.erase(recorded);
  }
  actions_.erase(defaultsKey);
}

void KivShortcutBinder::registerDefaultShortcuts(const QMap<QString, KivShortcut>& defaultShortcuts) {
  const std::shared_ptr<const KivShortcutTransformer> t = transformer();
  if (!t) {
    log("KivShortcutBinder: the binding options name no known value transformer (%@); no defaults registered",
        bindingOptions().valueTransformerName);
    return;
  }
  for (auto it = defaultShortcuts.begin(); it != defaultShortcuts.end(); ++it) {
    store_.registerDefaults({{it.key(), t->reverseTransformedValue(it.value())}});
  }
}

bool KivShortcutBinder::isRegisteredAction(const QString& defaultsKey) const {
  return actions_.contains(defaultsKey);
}

std::optional<KivShortcut> KivShortcutBinder::valueForUndefinedKey(const QString& key) const {
  if (!actions_.contains(key)) {
    log("KivShortcutBinder: %@ is not a bound key", key);
    return std::nullopt;
  }
  const auto it = shortcuts_.find(key);
  if (it == shortcuts_.end()) return std::nullopt;
  return it->second;
}

void KivShortcutBinder::setValueForUndefinedKey(const std::optional<KivShortcut>& value, const QString& key) {
  const auto action = actions_.find(key);
  if (action == actions_.end()) {
    log("KivShortcutBinder: %@ is not a bound key", key);
    return;
  }
  const std::shared_ptr<KivShortcutMonitor> monitor = shortcutMonitor();
  const auto recorded = shortcuts_.find(key);
  if (recorded != shortcuts_.end() && monitor) monitor->unregisterShortcut(recorded->second);
  if (value) {
    shortcuts_.insert_or_assign(key, *value);
    if (monitor) monitor->registerShortcut(*value, action->second);
  } else {
    shortcuts_.erase(key);
  }
}

void KivShortcutBinder::storedValueChanged(const QString& key) {
  if (!actions_.contains(key)) return;
  const std::shared_ptr<const KivShortcutTransformer> t = transformer();
  if (!t) {
    log("KivShortcutBinder: the binding options name no known value transformer (%@); %@ reads as no shortcut",
        bindingOptions().valueTransformerName, key);
  }
  setValueForUndefinedKey(t ? t->transformedValue(store_.objectForKey(key)) : std::nullopt, key);
}

}  // namespace ostrel
