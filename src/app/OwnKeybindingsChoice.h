#pragma once
// Where no portal serves Ostrel's shortcuts, the desktop's own keybindings
// take their place (keybindings/); PlatformServices decides with these.
//
//  - whyNotGnomePortal(): in a GNOME session (XDG_CURRENT_DESKTOP names
//    GNOME), why the GlobalShortcuts portal must not be used: GNOME Shell
//    before 48 has none of its own, and what xdg-desktop-portal may still
//    offer under that name there comes from another desktop's backend (KDE's,
//    where it is installed), which cannot work in GNOME; a shell that does not
//    say its version counts as such. Nothing elsewhere and on GNOME 48 and
//    later, whose own portal serves.
//  - keepGnomeShortcuts(): GNOME's custom shortcuts running the ostrelctl
//    beside this Ostrel; null, with the reason, where GNOME's settings cannot
//    be reached.
//  - leaveGnomesKeysToGnome(): in an X11 session of GNOME, the X11 key
//    monitor wrapped so that a press GNOME's custom shortcuts run ostrelctl
//    for acts once (keybindings/KeysLeftToGnome.h); the monitor as it was
//    where GNOME's settings cannot be read.
//  - offerCompositorKeybindings(): where nothing serves the shortcuts, names
//    the compositor whose configuration lines the settings window shows
//    (DesktopServices::ownKeybindings()), if it is one Ostrel writes them for.

#include "keybindings/GnomeShortcutsKeeper.h"
#include "platform/GlobalKeyMonitor.h"

#include <QDBusConnection>
#include <QString>
#include <memory>
#include <optional>

namespace ostrel {

bool isGnomeSession();
std::optional<QString> whyNotGnomePortal(const QDBusConnection& bus);
std::unique_ptr<GnomeShortcutsKeeper> keepGnomeShortcuts(const QString& whyNotPortal, QString* whyNot);
std::unique_ptr<platform::GlobalKeyMonitor> leaveGnomesKeysToGnome(std::unique_ptr<platform::GlobalKeyMonitor> monitor);
void offerCompositorKeybindings();

}  // namespace ostrel
