#pragma once
// In an X11 session of GNOME, Ostrel watches the keys itself. Where Ostrel's
// shortcuts are also among GNOME's custom shortcuts (added in a Wayland
// session of the same user, GnomeCustomShortcuts.h), GNOME grabs the same key
// and runs ostrelctl, and Ostrel's monitor still sees the press: one press
// would step the contrast twice. This monitor passes every press on except
// one GNOME runs ostrelctl for, by Ostrel's own entry, right now: GNOME's
// settings are read at the press, so removing the entries gives the keys back
// to Ostrel at once. The first press left to GNOME is logged.
//
// Main thread only, like the monitor it wraps.

#include "keybindings/GnomeCustomShortcuts.h"
#include "platform/CustomShortcutStore.h"
#include "platform/GlobalKeyMonitor.h"

#include <memory>

namespace ostrel {

class KeysLeftToGnome final : public platform::GlobalKeyMonitor {
 public:
  KeysLeftToGnome(std::unique_ptr<platform::GlobalKeyMonitor> monitor,
                  std::unique_ptr<platform::CustomShortcutStore> store, QString ostrelctl);

  bool start(Handler handler, QString* whyNot) override;
  void stop() override;
  void watchShortcuts(const std::vector<platform::WatchedShortcut>& shortcuts) override;

  // Whether GNOME runs ostrelctl, through Ostrel's entry, on this press.
  bool gnomeRuns(const platform::KeyPress& press) const;

 private:
  std::unique_ptr<platform::GlobalKeyMonitor> monitor_;
  std::unique_ptr<platform::CustomShortcutStore> store_;
  GnomeCustomShortcuts shortcuts_;
  bool logged_ = false;
};

}  // namespace ostrel
