#pragma once
// The menu model that shortcut conflicts are searched in: titles, key
// equivalents and submenus, in menu order. The widget layer adapts the
// application's menu bar to it; KivMenuSnapshot holds a menu as plain data.
//
// A key equivalent is written the way menus write it: one character, lower case
// for the plain key ("q"), upper case when Shift is part of it ("Q"), " " for the
// space bar, U+F704 + (n - 1) for Fn; empty when the item has none. The modifier
// mask uses the shortcut bits (Shift 0x20000, Control 0x40000, Option 0x80000,
// Command 0x100000).

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

namespace ostrel {

class KivMenu;

struct KivMenuItem {
  QString title;
  QString keyEquivalent;
  quint64 keyEquivalentModifierMask = 0;
  std::shared_ptr<const KivMenu> submenu;
};

class KivMenu {
 public:
  virtual ~KivMenu() = default;
  virtual std::vector<KivMenuItem> items() const = 0;

  // The application's main menu, for the whole process (none until a provider is
  // set, e.g. by the main window). Asked afresh at every search; main thread.
  using Provider = std::function<std::shared_ptr<const KivMenu>()>;
  static void setMainMenuProvider(Provider provider);
  static std::shared_ptr<const KivMenu> mainMenu();
};

}  // namespace ostrel
