#pragma once
// Tells the global key monitor which three shortcuts Ostrel acts on, with
// descriptions in the user's language, at start and again whenever the
// settings window changes them (or the language). A monitor that sees every
// key ignores the list; the portal binds it with the desktop.
//
// A shortcut whose stored flags are 0 is inactive (a first start, before the
// settings window was confirmed) and is left out. Main thread only.

#include "common/NotificationCenter.h"
#include "platform/GlobalKeyMonitor.h"

#include <vector>

namespace ostrel {

class DesktopShortcutBinding {
 public:
  // `monitor` must outlive this object.
  explicit DesktopShortcutBinding(platform::GlobalKeyMonitor& monitor);

  // The program-wide shortcut values as the monitor is told them.
  static std::vector<platform::WatchedShortcut> currentShortcuts();

 private:
  platform::GlobalKeyMonitor& monitor_;
  ScopedObserver observer_;
};

}  // namespace ostrel
