#include "keybindings/GnomeShortcutsKeeper.h"

#include "common/DesktopServices.h"
#include "common/Log.h"
#include "common/MainThread.h"
#include "keybindings/DesktopKeyNames.h"
#include "settings/ProgramValues.h"

namespace ostrel {
namespace {

GnomeShortcutsKeeper* activeKeeper = nullptr;

bool englishNow() {
  return CurrentLanguage != 0;
}

}  // namespace

GnomeShortcutsKeeper::GnomeShortcutsKeeper(std::unique_ptr<platform::CustomShortcutStore> store, QString ostrelctl,
                                           QString whyNoPortal)
    : store_(std::move(store)), shortcuts_(*store_, std::move(ostrelctl)), whyNoPortal_(std::move(whyNoPortal)) {
  activeKeeper = this;
  DesktopServices::shared().setOwnKeybindings(QStringLiteral("gnome"));
  NotificationCenter& center = NotificationCenter::defaultCenter();
  observer_ = ScopedObserver(center, center.addObserver(ShortcutValuesDidChangeNotification, nullptr,
                                                        [this](const Notification&) { shortcutValuesChanged(); }));
  store_->watch(GnomeCustomShortcuts::entryPaths(), [this] { refresh(); });
  refresh();
  // The recorded shortcuts are loaded with the main window, after this: the
  // keys the desktop runs are compared with them once they are there.
  std::weak_ptr<int> alive = alive_;
  mainthread::post([this, alive] {
    if (alive.lock()) refresh();
  });
}

GnomeShortcutsKeeper::~GnomeShortcutsKeeper() {
  store_->watch({}, {});
  if (activeKeeper == this) activeKeeper = nullptr;
}

GnomeShortcutsKeeper* GnomeShortcutsKeeper::active() {
  return activeKeeper;
}

GnomeShortcutsOutcome GnomeShortcutsKeeper::add() {
  const GnomeShortcutsOutcome outcome = shortcuts_.add(recordedShortcuts(), englishNow());
  if (!outcome.ok) log("Ostrel's shortcuts could not be added to GNOME's custom shortcuts: %@", outcome.error);
  refresh();
  return outcome;
}

GnomeShortcutsOutcome GnomeShortcutsKeeper::remove() {
  const GnomeShortcutsOutcome outcome = shortcuts_.remove();
  if (!outcome.ok) log("Ostrel's shortcuts could not be removed from GNOME's custom shortcuts: %@", outcome.error);
  refresh();
  return outcome;
}

GnomeShortcutsStatus GnomeShortcutsKeeper::status() const {
  return shortcuts_.status(recordedShortcuts());
}

void GnomeShortcutsKeeper::shortcutValuesChanged() {
  const GnomeShortcutsOutcome outcome = shortcuts_.update(recordedShortcuts(), englishNow());
  if (!outcome.ok) log("GNOME's custom shortcuts could not follow the new shortcuts: %@", outcome.error);
  refresh();
}

void GnomeShortcutsKeeper::refresh() {
  const RecordedShortcuts recorded = recordedShortcuts();
  const GnomeShortcutsStatus now = shortcuts_.status(recorded);
  DesktopServices& services = DesktopServices::shared();
  const bool working = now.allWork();
  if (working) {
    QList<ShortcutAssignment> assignments;
    for (std::size_t i = 0; i < recorded.size(); ++i) {
      const GnomeShortcutState& s = now.shortcuts[i];
      assignments << ShortcutAssignment{keybindingActionId(s.action),
                                        keysIn(KeySyntax::Xdg, recorded[i].keyCode, recorded[i].modifierFlags),
                                        s.listed ? s.keys : QString()};
    }
    services.setState(DesktopService::Shortcuts,
                      {QStringLiteral("gnome"),
                       QStringLiteral("GNOME's custom shortcuts run %1 (Settings > Keyboard > Keyboard Shortcuts > "
                                      "Custom Shortcuts)")
                           .arg(shortcuts_.ostrelctl())});
    services.setBinding(ShortcutBinding::Bound, assignments);
  } else {
    QStringList missing;
    for (const GnomeShortcutState& s : now.shortcuts) {
      if (!s.works()) missing << keybindingActionName(s.action, true).toLower();
    }
    services.setBinding(ShortcutBinding::NotAsked);
    services.setState(DesktopService::Shortcuts,
                      {QString(), QStringLiteral("%1, and GNOME's custom shortcuts do not run ostrelctl for %2")
                                      .arg(whyNoPortal_, missing.join(QStringLiteral(", ")))});
  }
  if (working_ != working) {
    working_ = working;
    if (working) {
      log("Global shortcuts go through GNOME's custom shortcuts, which run %@", shortcuts_.ostrelctl());
    } else {
      log("Global shortcuts are unavailable: %@", services.state(DesktopService::Shortcuts).detail);
    }
  }
}

}  // namespace ostrel
