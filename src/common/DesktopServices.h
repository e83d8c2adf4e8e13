#pragma once
// What the desktop does for Ostrel beyond drawing its window: which backend
// serves the global shortcuts and the monitor's keys and pointer, or why none
// does, and, where the desktop rather than Ostrel decides which key a shortcut
// gets (the GlobalShortcuts portal), the keys it assigned.
//
// While the desktop shows its own dialog about a service (the user is asked to
// add the shortcuts, or to let Ostrel type and move the pointer), that service
// is awaiting the desktop's confirmation: Ostrel waits and asks nothing more.
//
// The backends and the application shell write it; the settings window and the
// session-bus service (ostrelctl status) read it. Main thread only. Every change
// posts DesktopServicesDidChangeNotification (no user information).

#include <QList>
#include <QString>
#include <QVariantMap>

namespace ostrel {

// Posted whenever anything below changes.
extern const QString DesktopServicesDidChangeNotification;
// Posted by the settings window once the user confirmed new shortcut values
// or another language (the program-wide values already hold them).
extern const QString ShortcutValuesDidChangeNotification;

// The ids under which the three shortcuts are bound with the desktop.
extern const QString DesktopShortcutRefresh;       // "refresh"
extern const QString DesktopShortcutContrastUp;    // "contrast-up"
extern const QString DesktopShortcutContrastDown;  // "contrast-down"

enum class DesktopService { Shortcuts, Input };

struct ServiceState {
  // "x11", "portal" or, for the shortcuts, "gnome" (GNOME's own custom
  // shortcuts run ostrelctl); empty while nothing serves the service
  QString backend;
  QString detail;  // one sentence: what serves it and how, or why nothing does

  bool operator==(const ServiceState&) const = default;
};

// Where the desktop's answer about the shortcuts stands. Only a backend that
// asks the desktop (the portal) leaves NotAsked.
enum class ShortcutBinding { NotAsked, Asking, Bound, Declined, Failed };

struct ShortcutAssignment {
  QString id;         // one of the DesktopShortcut ids
  QString preferred;  // what Ostrel proposed, in the XDG form ("CTRL+ALT+R")
  QString assigned;   // what the desktop reports ("Ctrl+Alt+R"); empty: no key

  // Whether the assigned key is the proposed one, whatever the spelling:
  // "Ctrl+Alt+R", "CTRL+ALT+R" and "Alt+Control+r" are one combination.
  bool matchesPreferred() const;
  bool operator==(const ShortcutAssignment&) const = default;
};

class DesktopServices {
 public:
  static DesktopServices& shared();

  ServiceState state(DesktopService service) const;
  void setState(DesktopService service, const ServiceState& state);

  // Whether the desktop shows a dialog about `service` that the user has not
  // answered yet.
  bool awaitingConfirmation(DesktopService service) const;
  void setAwaitingConfirmation(DesktopService service, bool waiting);

  ShortcutBinding binding() const { return binding_; }
  // The assignments as last reported; meaningful once the binding is Bound.
  QList<ShortcutAssignment> assignments() const { return assignments_; }
  void setBinding(ShortcutBinding binding, const QList<ShortcutAssignment>& assignments = {});
  // The assignment of one shortcut id, or an empty one (no id) when none.
  ShortcutAssignment assignment(const QString& id) const;

  // The desktop's own keybindings Ostrel can fill or print for where no
  // portal serves its shortcuts: "gnome" (GNOME's custom shortcuts), "sway",
  // "hyprland", "i3"; empty for none.
  QString ownKeybindings() const { return ownKeybindings_; }
  void setOwnKeybindings(const QString& name);

  // How often the user re-assigned keys in the desktop's own settings.
  int shortcutsChangedByDesktop() const { return changedByDesktop_; }
  void noteShortcutsChangedByDesktop();

  // The bus form (an a{sv}): ShortcutsBackend, ShortcutsDetail, ShortcutsBinding
  // ("", "asking", "bound", "declined", "failed"), ShortcutIds,
  // ShortcutsPreferred, ShortcutsAssigned (three parallel string lists),
  // ShortcutsChangedByDesktop, ShortcutsAwaitingConfirmation, InputBackend,
  // InputDetail, InputAwaitingConfirmation, OwnKeybindings.
  QVariantMap properties() const;

  // Back to the state of a fresh process (tests).
  void reset();

 private:
  void changed();

  ServiceState shortcuts_;
  ServiceState input_;
  ShortcutBinding binding_ = ShortcutBinding::NotAsked;
  QList<ShortcutAssignment> assignments_;
  int changedByDesktop_ = 0;
  QString ownKeybindings_;
  bool shortcutsAwaiting_ = false;
  bool inputAwaiting_ = false;
};

// "asking", "bound", ... as on the bus; "" for NotAsked.
QString shortcutBindingName(ShortcutBinding binding);

}  // namespace ostrel
