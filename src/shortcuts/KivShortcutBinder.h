#pragma once
// Ties preference entries to actions: while a key is bound, the shortcut stored
// under it is registered with the monitor and runs the key's action; storing
// another shortcut (through the store or by editing the file on disk) replaces
// the registration, removing the entry drops it.
//
// Contract:
//  - bindShortcutWithDefaultsKey() records the action, then reads the entry at
//    once, so a shortcut already stored is registered by the call.
//  - The entry is read through the transformer of bindingOptions(): the archive
//    bytes by default, the {"keyCode", "modifierFlags"} map when the options name
//    KivDictionaryTransformerName. An unreadable entry counts as no shortcut.
//  - A refusal by the system is silent: the shortcut is still recorded as the key's
//    (valueForUndefinedKey() answers it), it just never fires.
//  - breakBindingWithDefaultsKey() unregisters and forgets the key; destruction
//    breaks every binding.
//  - Without a monitor (no hotkey service) bindings are kept but register nothing.
//  - Main thread only.

#include "KivShortcut.h"
#include "KivShortcutTransformer.h"
#include "common/NotificationCenter.h"

#include <QMap>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace ostrel {

class KivShortcutMonitor;
class PreferenceStore;

struct KivBindingOptions {
  QString valueTransformerName = KivKeyedUnarchiveFromDataTransformerName;
  // Takes precedence over the name when set.
  std::shared_ptr<const KivShortcutTransformer> valueTransformer;
};

class KivShortcutBinder {
 public:
  // Over the shared monitor and the standard preference store; never destroyed.
  static KivShortcutBinder& sharedBinder();

  KivShortcutBinder(std::shared_ptr<KivShortcutMonitor> monitor, PreferenceStore& store);
  ~KivShortcutBinder();
  KivShortcutBinder(const KivShortcutBinder&) = delete;
  KivShortcutBinder& operator=(const KivShortcutBinder&) = delete;

  std::shared_ptr<KivShortcutMonitor> shortcutMonitor() const;
  void setShortcutMonitor(std::shared_ptr<KivShortcutMonitor> monitor);
  KivBindingOptions bindingOptions() const;
  void setBindingOptions(KivBindingOptions options);

  void bindShortcutWithDefaultsKey(const QString& defaultsKey, std::function<void()> action);
  void breakBindingWithDefaultsKey(const QString& defaultsKey);
  // Registers, one entry at a time, the stored form of each shortcut as the
  // store's default for its key (never written to the file).
  void registerDefaultShortcuts(const QMap<QString, KivShortcut>& defaultShortcuts);
  bool isRegisteredAction(const QString& defaultsKey) const;

  // The bound property of a key: the shortcut it currently holds. For a key that
  // is not bound: nothing, with one log line; setting it changes nothing.
  std::optional<KivShortcut> valueForUndefinedKey(const QString& key) const;
  void setValueForUndefinedKey(const std::optional<KivShortcut>& value, const QString& key);

 private:
  std::shared_ptr<const KivShortcutTransformer> transformer() const;
  void storedValueChanged(const QString& key);

  PreferenceStore& store_;
  mutable std::mutex propertiesMutex_;
  std::shared_ptr<KivShortcutMonitor> shortcutMonitor_;
  KivBindingOptions bindingOptions_;
  std::map<QString, std::function<void()>> actions_;
  std::map<QString, KivShortcut> shortcuts_;
  ScopedObserver storeObservation_;
};

}  // namespace ostrel
