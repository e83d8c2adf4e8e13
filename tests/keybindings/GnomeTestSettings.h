#pragma once
// GNOME's settings as another program sees them: the `gsettings` tool, run
// with the test's own GSettings backend (GSETTINGS_BACKEND, the keyfile in
// the test's XDG_CONFIG_HOME, or dconf on a GNOME session's bus).

#include <QString>
#include <QStringList>

namespace ostrel::test {

inline const QString kMediaKeys = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
inline const QString kCustomFolder =
    QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");

// `gsettings ARGUMENTS...`: its standard output without the last line end;
// the test fails when it does.
QString gsettings(const QStringList& arguments);
// The list of custom shortcut paths; an entry's key ("name", "command", "binding").
QStringList customPaths();
QString entryValue(const QString& path, const QString& key);
void setCustomPaths(const QStringList& paths);
// Back to GNOME's defaults: no custom shortcuts, nothing at their paths.
void resetGnomeSettings();
// A custom shortcut of the user's own, written as GNOME Settings writes one.
void writeEntry(const QString& path, const QString& name, const QString& command, const QString& binding);

}  // namespace ostrel::test
