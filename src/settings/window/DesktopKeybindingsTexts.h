#pragma once
// The settings window's words for what serves Ostrel's shortcuts and the
// monitor's input on this desktop, what the user must do, and which keys
// GNOME's custom shortcuts run; in English or Chinese, like the rest of the
// window.

#include "keybindings/GnomeCustomShortcuts.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace ostrel {

// For each service one line, "Shortcuts: <what serves them>. <what to do>",
// from DesktopServices' bus form.
QStringList desktopServiceLines(const QVariantMap& desktopServices, bool english);

// One line per shortcut: the key GNOME runs it on, or that it has none.
QStringList gnomeShortcutLines(const GnomeShortcutsStatus& status, bool english);

QString gnomeAddTitle(bool english);     // "Add to GNOME"
QString gnomeRemoveTitle(bool english);  // "Remove from GNOME"
QString copyTitle(bool english);         // "Copy"
QString copiedNote(bool english);        // "Copied."
// After a failed add or remove; `error` says why (in English).
QString gnomeFailure(const QString& error, bool english);

}  // namespace ostrel
