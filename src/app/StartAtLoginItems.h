#pragma once
// The "Start at Login" items of Ostrel's menus (the window's Ostrel menu and
// the tray icon's menu), each a checkable action kept true to the autostart
// list through one StartAtLoginSwitch.
//
// Contract:
//  - add(item, menu): the item becomes checkable; whenever `menu` is about to
//    show, every item's check is read afresh from the autostart list, so an
//    entry added or removed outside Ostrel shows correctly.
//  - Picking an item switches start at login as its new check asks, then every
//    item shows the state read back. A switch that did not take is logged with
//    its reason, and the check shows the real state.
//  - Main thread only.

#include "loginitem/StartAtLoginSwitch.h"

#include <QObject>
#include <QPointer>
#include <vector>

class QAction;
class QMenu;

namespace ostrel {

class StartAtLoginItems : public QObject {
 public:
  explicit StartAtLoginItems(StartAtLoginSwitch startAtLogin, QObject* parent = nullptr);

  void add(QAction* item, QMenu* menu);
  // Reads the autostart list and checks every item accordingly.
  void refresh();

 private:
  void picked(bool on);

  StartAtLoginSwitch switch_;
  std::vector<QPointer<QAction>> items_;
};

}  // namespace ostrel
