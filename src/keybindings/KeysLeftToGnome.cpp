#include "keybindings/KeysLeftToGnome.h"

#include "common/Log.h"
#include "keybindings/DesktopKeyNames.h"
#include "platform/KeyCodes.h"

namespace ostrel {

KeysLeftToGnome::KeysLeftToGnome(std::unique_ptr<platform::GlobalKeyMonitor> monitor,
                                 std::unique_ptr<platform::CustomShortcutStore> store, QString ostrelctl)
    : monitor_(std::move(monitor)), store_(std::move(store)), shortcuts_(*store_, std::move(ostrelctl)) {}

bool KeysLeftToGnome::start(Handler handler, QString* whyNot) {
  return monitor_->start(
      [this, handler = std::move(handler)](const platform::KeyPress& press) {
        if (!gnomeRuns(press)) {
          handler(press);
        } else if (!logged_) {
          logged_ = true;
          log("A shortcut's key is also among GNOME's custom shortcuts, which run ostrelctl for it: Ostrel leaves "
              "such presses to GNOME (`ostrelctl gnome-shortcuts remove` gives them back)");
        }
      },
      whyNot);
}

void KeysLeftToGnome::stop() {
  monitor_->stop();
}

void KeysLeftToGnome::watchShortcuts(const std::vector<platform::WatchedShortcut>& shortcuts) {
  monitor_->watchShortcuts(shortcuts);
}

bool KeysLeftToGnome::gnomeRuns(const platform::KeyPress& press) const {
  const std::uint32_t flags = press.modifierFlags & keys::kShortcutModifierMask;
  const RecordedShortcuts recorded = recordedShortcuts();
  // Most presses are no shortcut of Ostrel's: GNOME's settings are read only
  // for those that are.
  bool recordedKey = false;
  for (const RecordedShortcut& s : recorded)
    recordedKey = recordedKey || (s.keyCode == press.virtualKeyCode && s.modifierFlags == flags);
  if (!recordedKey) return false;
  for (const GnomeShortcutState& s : shortcuts_.status(recorded).shortcuts) {
    if (!s.listed || !s.runs) continue;
    const std::optional<GnomeAccelerator> keys = parseGnomeAccelerator(s.binding);
    if (keys && keys->otherModifiers.isEmpty() && keys->keyCode == press.virtualKeyCode &&
        keys->modifierFlags == flags) {
      return true;
    }
  }
  return false;
}

}  // namespace ostrel
