#pragma once
// A minimal binding of a recorder's value to a property of another object: the
// observed object, the key path of the property on it, and how a shortcut is
// turned into the property's value (a transformer, given directly or by name).
//
// Values travel as std::any: a transformer's side holds a QVariant (what the
// transformer reads and writes), the untransformed side a
// std::optional<KivShortcut>.
//
// An observed object that can tell about changes lets a bound control follow
// the property; one that cannot is only written to.

#include "common/NotificationCenter.h"
#include "shortcuts/KivShortcutBinder.h"

#include <QString>
#include <any>
#include <functional>
#include <memory>
#include <optional>

namespace ostrel {

// The name of the recorder's bindable value.
inline const QString KivShortcutBinding = QStringLiteral("shortcutValue");

class KivObservedObject {
 public:
  virtual ~KivObservedObject() = default;
  virtual std::any valueForKeyPath(const QString& keyPath) const = 0;
  virtual void setValueForKeyPath(const std::any& value, const QString& keyPath) = 0;
  // Calls `changed` after every change of the property until the returned
  // observer is dropped; the default cannot tell and never calls.
  virtual ScopedObserver observeKeyPath(const QString& keyPath, std::function<void()> changed) {
    (void)keyPath;
    (void)changed;
    return {};
  }
};

// What infoForBinding() answers. A missing object or key path is kept as given,
// so that writing through the binding can say what is missing.
struct KivBindingInfo {
  std::shared_ptr<KivObservedObject> observedObject;
  std::optional<QString> observedKeyPath;
  KivBindingOptions options;
};

}  // namespace ostrel
