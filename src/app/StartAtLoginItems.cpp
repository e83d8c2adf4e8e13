#include "app/StartAtLoginItems.h"

#include "common/Log.h"

#include <QAction>
#include <QMenu>
#include <QSignalBlocker>

namespace ostrel {

StartAtLoginItems::StartAtLoginItems(StartAtLoginSwitch startAtLogin, QObject* parent)
    : QObject(parent), switch_(std::move(startAtLogin)) {}

void StartAtLoginItems::add(QAction* item, QMenu* menu) {
  item->setCheckable(true);
  items_.emplace_back(item);
  connect(item, &QAction::triggered, this, &StartAtLoginItems::picked);
  if (menu) connect(menu, &QMenu::aboutToShow, this, &StartAtLoginItems::refresh);
  refresh();
}

void StartAtLoginItems::refresh() {
  const bool on = switch_.isOn();
  for (const QPointer<QAction>& item : items_) {
    if (!item) continue;
    const QSignalBlocker quiet(item.data());
    item->setChecked(on);
  }
}

void StartAtLoginItems::picked(bool on) {
  const StartAtLoginSwitch::Outcome outcome = switch_.setOn(on);
  if (outcome.succeeded()) {
    log("Start at Login is %s", outcome.on ? "on" : "off");
  } else {
    log("Start at Login: %@", outcome.error);
  }
  refresh();
}

}  // namespace ostrel
