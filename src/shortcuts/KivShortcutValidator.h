#pragma once
// Decides whether a shortcut typed into a recorder may be kept.
//
//  - isShortcutValid(): is the combination usable as a global shortcut at all?
//    F1..F20 always; otherwise it needs Command or Control, or Option with Space
//    or Escape (any key with Option once allowAnyShortcutWithOptionModifier is
//    set). Shift alone, or no modifier, is refused.
//  - isShortcutAlreadyTakenInMenu(): does an item of `menu` (submenus first, in
//    menu order) use the same key equivalent with the same four modifiers? An
//    upper-case key equivalent implies Shift. Items without a key equivalent never
//    conflict. On a conflict the explanation names the item, in English when
//    CurrentLanguage is 1 and in Chinese otherwise.
//  - isShortcutAlreadyTakenBySystem(): does another program already hold the
//    combination system-wide (asked of the hotkey service), or, failing that,
//    does the application's main menu (KivMenu::mainMenu()) use it? The system
//    explanation comes from the shortcut layer's string table.
// The explanation is written only when the answer is true and a target is given.
// Main thread only (it reads menus and asks the display server).

#include "KivShortcut.h"

#include <QString>
#include <atomic>
#include <memory>

namespace ostrel::platform {
class HotKeyService;
}

namespace ostrel {

class KivMenu;

class KivShortcutValidator {
 public:
  // The validator every recorder starts with; it asks the process-wide hotkey
  // service (KivShortcutMonitor::systemHotKeyService()) at each check.
  static KivShortcutValidator& sharedValidator();

  // With a service of its own; nullptr means the process-wide one.
  explicit KivShortcutValidator(std::shared_ptr<platform::HotKeyService> hotKeyService = nullptr);

  bool allowAnyShortcutWithOptionModifier() const { return allowAnyShortcutWithOptionModifier_; }
  void setAllowAnyShortcutWithOptionModifier(bool allow) { allowAnyShortcutWithOptionModifier_ = allow; }

  bool isShortcutValid(const KivShortcut& shortcut) const;
  bool isShortcutAlreadyTakenInMenu(const KivShortcut& shortcut, const KivMenu* menu, QString* explanation) const;
  bool isShortcutAlreadyTakenBySystem(const KivShortcut& shortcut, QString* explanation) const;

 private:
  std::shared_ptr<platform::HotKeyService> hotKeyService_;
  std::atomic<bool> allowAnyShortcutWithOptionModifier_{false};
};

}  // namespace ostrel
