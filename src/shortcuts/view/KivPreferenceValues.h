#pragma once
// The preference store seen as an observed object for bindings: the key path
// "values.<key>" is the store's entry <key>, read and written as a QVariant (so a
// binding to it needs a transformer that stores shortcuts, e.g. the archive one).
//
// Contract:
//  - Reading gives std::any holding the stored QVariant (invalid when absent).
//  - Writing a QVariant stores it; an invalid one removes the entry. A value of
//    any other type, or a key path without the "values." prefix, changes nothing
//    and logs one line.
//  - observeKeyPath() reports changes of that entry, made through the store or in
//    the file on disk.
//  - Main thread.

#include "KivBinding.h"

namespace ostrel {

class PreferenceStore;

class KivPreferenceValues : public KivObservedObject {
 public:
  explicit KivPreferenceValues(PreferenceStore& store);

  std::any valueForKeyPath(const QString& keyPath) const override;
  void setValueForKeyPath(const std::any& value, const QString& keyPath) override;
  ScopedObserver observeKeyPath(const QString& keyPath, std::function<void()> changed) override;

  // "values.autoStart" -> "autoStart"; nothing without the prefix.
  static std::optional<QString> preferenceKey(const QString& keyPath);

 private:
  PreferenceStore& store_;
};

}  // namespace ostrel
