#pragma once
// Ostrel's three shortcuts among GNOME's own custom keyboard shortcuts, for
// GNOME releases without a GlobalShortcuts portal (43 to 47): GNOME's
// settings daemon grabs each key and runs `ostrelctl refresh`, `ostrelctl
// contrast up` or `ostrelctl contrast down` by the installed path.
//
// Contract:
//  - Ostrel's entries sit at paths of its own in GNOME's folder of custom
//    shortcuts (.../custom-keybindings/ostrel-refresh/, ostrel-contrast-up/,
//    ostrel-contrast-down/; the README's recipe uses the same), so no entry
//    of the user's is ever written, moved or removed. Entries at those paths
//    are Ostrel's, whoever wrote them (an older Ostrel, the user by hand).
//  - add(): writes the three entries (a name in the user's language, the
//    command, the key in GNOME's accelerator syntax), then puts the paths
//    that are not in GNOME's list yet at its end. The list is written after
//    the entries, so the settings daemon never sees a path without its key.
//  - update(): the same for those of Ostrel's entries that are in the list,
//    keeping the list as it is; nothing when none is (the user never asked,
//    or removed them).
//  - remove(): takes Ostrel's paths out of the list, every other path staying
//    where it was (a list left empty goes back to GNOME's default, as it was
//    before add), then clears the three entries.
//  - Each of them waits until the store has them and reads them back; a
//    store that did not keep them is an error that says so.
//  - status(): for each shortcut, whether Ostrel's entry is in the list, its
//    key, whether that is the recorded one, whether its command runs an
//    ostrelctl that exists, the user's own entries that run the same command
//    (made by hand in GNOME Settings) and those on the same key.

#include "keybindings/KeybindingActions.h"
#include "platform/CustomShortcutStore.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace ostrel {

struct GnomeShortcutState {
  KeybindingAction action = KeybindingAction::Refresh;
  bool listed = false;             // Ostrel's entry is in GNOME's list
  QString binding;                 // its key as GNOME stores it
  QString keys;                    // the same for a person ("Ctrl+Alt+R"); empty: no key
  bool asRecorded = false;         // its key is the one recorded in the settings window
  QString command;                 // as GNOME stores it
  bool runs = false;               // the command runs an existing ostrelctl with this action
  bool runsThisOstrelctl = false;  // ... and it is the ostrelctl given to the constructor
  QStringList alsoBy;              // names of the user's own entries that run it, with a key
  QStringList sameKeyAs;           // names of the user's own entries on the same key

  // GNOME runs it on some key: through Ostrel's entry or one of the user's.
  bool works() const { return (listed && !keys.isEmpty() && runs) || !alsoBy.isEmpty(); }
};

struct GnomeShortcutsStatus {
  std::vector<GnomeShortcutState> shortcuts;  // fast refresh, contrast up, contrast down

  bool allWork() const;
  bool anyListed() const;
  const GnomeShortcutState* of(KeybindingAction action) const;
};

struct GnomeShortcutsOutcome {
  bool ok = true;
  QString error;  // why not, for a person
};

class GnomeCustomShortcuts {
 public:
  // `store` must outlive this object; `ostrelctl` is the absolute path the
  // entries run.
  GnomeCustomShortcuts(platform::CustomShortcutStore& store, QString ostrelctl);

  static QString folderPath();  // "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"
  static QString entryPath(KeybindingAction action);
  static QStringList entryPaths();
  // The command GNOME runs: ostrelctlCommand(), with '%' doubled, since GNOME
  // reads it by the desktop-entry Exec rules.
  static QString gnomeCommand(const QString& ostrelctl, KeybindingAction action);

  GnomeShortcutsOutcome add(const RecordedShortcuts& shortcuts, bool english);
  GnomeShortcutsOutcome update(const RecordedShortcuts& shortcuts, bool english);
  GnomeShortcutsOutcome remove();
  GnomeShortcutsStatus status(const RecordedShortcuts& shortcuts) const;

  const QString& ostrelctl() const { return ostrelctl_; }
  platform::CustomShortcutStore& store() { return store_; }

 private:
  platform::CustomShortcutEntry entryFor(const RecordedShortcut& shortcut, bool english) const;
  GnomeShortcutsOutcome write(const RecordedShortcuts& shortcuts, bool english, bool addToList);

  platform::CustomShortcutStore& store_;
  QString ostrelctl_;
};

}  // namespace ostrel
