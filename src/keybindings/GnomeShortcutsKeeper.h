#pragma once
// Ostrel's shortcuts on a GNOME without a GlobalShortcuts portal, while Ostrel
// runs: the GNOME custom shortcuts (GnomeCustomShortcuts.h) the settings
// window adds and removes on request, kept up to date when the shortcuts or
// the language change in the settings window (ShortcutValuesDidChangeNotification),
// and what DesktopServices says of the shortcuts:
//
//  - backend "gnome" while GNOME runs all three (keys under the desktop's
//    assignments, bound), with a line of the log whenever that begins;
//  - otherwise no backend, the reason the portal does not serve (given) and
//    which shortcuts GNOME does not run, with a line of the log whenever that
//    begins.
//
// GNOME's settings are watched, so a change made in GNOME Settings or by
// `ostrelctl gnome-shortcuts` shows at once. One keeper per process; active()
// finds it (the settings window does). Main thread only.

#include "common/NotificationCenter.h"
#include "keybindings/GnomeCustomShortcuts.h"
#include "platform/CustomShortcutStore.h"

#include <memory>
#include <optional>

namespace ostrel {

class GnomeShortcutsKeeper {
 public:
  // `whyNoPortal`: why the desktop's GlobalShortcuts portal does not serve.
  GnomeShortcutsKeeper(std::unique_ptr<platform::CustomShortcutStore> store, QString ostrelctl, QString whyNoPortal);
  ~GnomeShortcutsKeeper();
  GnomeShortcutsKeeper(const GnomeShortcutsKeeper&) = delete;
  GnomeShortcutsKeeper& operator=(const GnomeShortcutsKeeper&) = delete;

  static GnomeShortcutsKeeper* active();

  // With the recorded shortcuts and the language now in force.
  GnomeShortcutsOutcome add();
  GnomeShortcutsOutcome remove();
  GnomeShortcutsStatus status() const;
  const QString& ostrelctl() const { return shortcuts_.ostrelctl(); }

 private:
  void refresh();
  void shortcutValuesChanged();

  std::unique_ptr<platform::CustomShortcutStore> store_;
  GnomeCustomShortcuts shortcuts_;
  QString whyNoPortal_;
  ScopedObserver observer_;
  std::optional<bool> working_;  // as last logged
  std::shared_ptr<int> alive_ = std::make_shared<int>();
};

}  // namespace ostrel
