#pragma once
// The GNOME backends of Ostrel's platform interfaces.
//
//  - createGnomeCustomShortcutStore(): GNOME's custom keyboard shortcuts
//    through GSettings. Null, with a reason a person can act on, where GNOME's
//    settings daemon schema is not installed (not a GNOME desktop) or where
//    GSettings has nowhere to keep a value (only its memory backend: dconf's
//    GSettings module is missing). Never aborts the process, as GSettings
//    itself does for a missing schema.
//  - gnomeShellVersion(): the version GNOME Shell reports on the session bus
//    (org.gnome.Shell's ShellVersion, "43.9"); nothing when no GNOME Shell
//    answers within a few seconds.
//
// Main thread.

#include "platform/CustomShortcutStore.h"

#include <QDBusConnection>
#include <QString>
#include <memory>
#include <optional>

namespace ostrel::platform {

std::unique_ptr<CustomShortcutStore> createGnomeCustomShortcutStore(QString* whyNot);

std::optional<QString> gnomeShellVersion(const QDBusConnection& bus);

}  // namespace ostrel::platform
