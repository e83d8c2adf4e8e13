#pragma once
// What the GNOME tests need of the headless GNOME Shell that run-test.sh
// --gnome started (tests/gnome/gnome-session.sh): its version, its windows, a
// screenshot, and the grants GNOME stores once a user has answered its
// dialogs, written where and how GNOME itself writes them.

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace ostrel::test {

// GNOME Shell's major version (48 for 48.7); 0 when none runs.
int gnomeShellMajorVersion();
// Why the GNOME 48 portal tests cannot run here, or nothing when they can.
std::optional<std::string> whyNoGnomePortals();

// Runs `script` in the shell (org.gnome.Shell.Eval, unsafe mode); the
// result as JSON text, or nothing with `error`.
std::optional<QString> shellEval(const QString& script, QString* error);

// The titles of the shell's windows (org.gnome.Shell.Eval, unsafe mode).
std::optional<QStringList> shellWindowTitles(QString* error);
// How many of those windows have exactly this title; -1 when they cannot be read.
int windowsTitled(const QString& title);

// Leaves the overview (GNOME starts in it) and gives the focus to the window
// with this title, as the shell does when the user clicks it; false with
// `error` when there is no such window.
bool focusWindowTitled(const QString& title, QString* error);

// The whole screen (org.gnome.Shell.Screenshot), saved as
// $OSTREL_BUILD_DIR/screenshots/<name>.png; a null image with `error`.
QImage gnomeScreenshot(const QString& name, QString* error);

// What GNOME Settings stores when the user presses "Add" in its "Add Keyboard
// Shortcuts" dialog: the application in org.gnome.settings-daemon.global-shortcuts
// `applications`, its shortcuts in the relocatable schema at
// /org/gnome/settings-daemon/global-shortcuts/APP/.
struct GrantedShortcut {
  QString id;
  QString description;
  QString accelerator;  // GTK's form: "<Control>d"
};
bool storeShortcutGrant(const QString& appId, const QList<GrantedShortcut>& shortcuts, QString* error);
// What GNOME Settings does when the user gives an application's shortcuts
// other keys in its panel: it stores them (above) and has GNOME's portal bind
// them anew (org.gnome.GlobalShortcutsRebind.RebindShortcuts).
bool changeShortcutsInSettings(const QString& appId, const QList<GrantedShortcut>& shortcuts, QString* error);

// What xdg-desktop-portal and its GNOME backend store when the user shares
// keyboard and pointer with "Remember This Selection" ticked: the restore
// token in the permission store's "remote-desktop" table, granted to `appId`
// ("" for a program without one), with GNOME's restore data (devices 3, no
// clipboard, no screen). Returns the token (a UUID), empty with `error`.
QString storeRemoteDesktopGrant(const QString& appId, QString* error);

// Ends GNOME Settings' shortcut provider, and with it an open "Add Keyboard
// Shortcuts" dialog, without anyone answering it; the portal then answers
// the bind as it answers a Cancel.
bool endShortcutProvider(QString* error);

}  // namespace ostrel::test
