#include "KivShortcutView.h"

#include "common/Log.h"
#include "shortcuts/KivShortcutTransformer.h"

#include <QVariant>
#include <any>

// The recorder's side of value bindings: it shows the observed value and writes
// the recorded one back, without reacting to its own write coming back.
namespace ostrel {
namespace {

constexpr const char* kPropagateOperation = "-[KivShortcutView propagateValue:forBinding:]";

std::shared_ptr<const KivShortcutTransformer> transformerFor(const KivBindingOptions& options) {
  if (options.valueTransformer) return options.valueTransformer;
  if (options.valueTransformerName.isEmpty()) return nullptr;
  auto transformer = KivShortcutTransformer::transformerWithName(options.valueTransformerName);
  if (!transformer) log("KivShortcutView: no value transformer is named %@", options.valueTransformerName);
  return transformer;
}

template <typename Transformer>
bool allowsReverseTransformation(const Transformer& transformer) {
  if constexpr (requires { transformer.allowsReverseTransformation(); }) {
    return transformer.allowsReverseTransformation();
  } else {
    return true;
  }
}

class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

void KivShortcutView::bind(const QString& binding, std::shared_ptr<KivObservedObject> observedObject,
                           std::optional<QString> keyPath, KivBindingOptions options) {
  if (binding != KivShortcutBinding) {
    log("KivShortcutView: %@ is not a bindable value", binding);
    return;
  }
  bindingObservation_.reset();
  bound_ = false;
  bindings_[binding] = KivBindingInfo{observedObject, keyPath, std::move(options)};
  if (observedObject && keyPath) {
    bindingObservation_ = observedObject->observeKeyPath(*keyPath, [this] { takeBoundValue(); });
  }
  takeBoundValue();
}

void KivShortcutView::unbind(const QString& binding) {
  if (bindings_.erase(binding) != 0) bindingObservation_.reset();
}

std::optional<KivBindingInfo> KivShortcutView::infoForBinding(const QString& binding) const {
  const auto it = bindings_.find(binding);
  if (it == bindings_.end()) return std::nullopt;
  return it->second;
}

void KivShortcutView::takeBoundValue() {
  if (propagating_) return;  // our own write coming back
  const auto info = infoForBinding(KivShortcutBinding);
  if (!info || !info->observedObject || !info->observedKeyPath) return;
  const std::any stored = info->observedObject->valueForKeyPath(*info->observedKeyPath);

  std::optional<KivShortcut> value;
  bool readable = true;
  if (const auto transformer = transformerFor(info->options)) {
    if (const auto* variant = std::any_cast<QVariant>(&stored)) {
      value = transformer->transformedValue(*variant);  // logs what it cannot read
    } else {
      readable = !stored.has_value();
    }
  } else if (const auto* optional = std::any_cast<std::optional<KivShortcut>>(&stored)) {
    value = *optional;
  } else if (const auto* shortcut = std::any_cast<KivShortcut>(&stored)) {
    value = *shortcut;
  } else {
    readable = !stored.has_value();
  }
  if (!readable) {
    log("KivShortcutView: the value bound to %@ at %@ is not a shortcut (%s); showing no shortcut", KivShortcutBinding,
        *info->observedKeyPath, stored.type().name());
  }
  // Our own writes come back as change reports too, later: only a different value
  // is news.
  if (value == shortcutValue_ && bound_) return;
  bound_ = true;
  storeShortcutValue(value, false);
}

void KivShortcutView::propagateValue(const std::optional<KivShortcut>& value, const QString& binding) {
  const auto info = infoForBinding(binding);
  if (!info) return;

  std::any outgoing = value;
  if (const auto transformer = transformerFor(info->options)) {
    if (allowsReverseTransformation(*transformer)) {
      outgoing = transformer->reverseTransformedValue(value);
    } else {
      log("WARNING: binding \"%@\" has value transformer, but it doesn't allow reverse transformations in %s", binding,
          kPropagateOperation);
    }
  }
  if (!info->observedObject) {
    log("ERROR: NSObservedObjectKey was nil for binding \"%@\" in %s", binding, kPropagateOperation);
    return;
  }
  if (!info->observedKeyPath) {
    log("ERROR: NSObservedKeyPathKey was nil for binding \"%@\" in %s", binding, kPropagateOperation);
    return;
  }
  FlagScope propagating(propagating_);
  info->observedObject->setValueForKeyPath(outgoing, *info->observedKeyPath);
}

}  // namespace ostrel
