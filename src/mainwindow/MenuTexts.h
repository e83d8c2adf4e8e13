#pragma once
// The words of Ostrel's two menus, the main window's Ostrel menu and the tray
// icon's, in the language CurrentLanguage selects (0 Chinese, any other value
// English), mnemonics included. Chinese marks its mnemonic letters in
// brackets after the words, as Chinese menus do: "退出(&Q)".

#include <QString>
#include <cstdint>

namespace ostrel {

struct MenuTexts {
  QString ostrelMenu;    // the menu bar's menu
  QString settings;      // the window's and the tray's
  QString startAtLogin;  // the window's and the tray's
  QString quit;          // the window's and the tray's
  // The tray's own items.
  QString fastRefresh;
  QString contrastUp;
  QString contrastDown;
  QString showOstrel;

  static const MenuTexts& forLanguage(std::int32_t language);
};

}  // namespace ostrel
