#include "GnomeShell.h"

#include "PermissionStore.h"
#include "support/ChildProcess.h"

#include <signal.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QUuid>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

// A GNOME command-line tool (gsettings, gdbus) run to its end; false with its
// standard error.
bool runTool(const QString& program, const QStringList& arguments, QString* error) {
  ChildProcess tool;
  const QString path = QStandardPaths::findExecutable(program);
  if (path.isEmpty()) {
    if (error) *error = program + QStringLiteral(" is not installed");
    return false;
  }
  if (!tool.start(path, arguments, error)) return false;
  const std::optional<ChildExit> exit = tool.waitForExit(60s);
  tool.waitForEndOfStreams(10s);
  if (exit && exit->exited && exit->status == 0) return true;
  QStringList said;
  for (const StampedLine& line : tool.lines(ChildStream::Error)) said << QString::fromUtf8(line.text);
  if (error) *error = program + QStringLiteral(" failed: ") + said.join(QLatin1Char(' '));
  return false;
}

QString gvariantString(const QString& text) {
  QString quoted = text;
  quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// The a(sa{sv}) GNOME Settings keeps and hands to the portal.
QString settingsShortcuts(const QList<GrantedShortcut>& shortcuts) {
  QStringList entries;
  for (const GrantedShortcut& s : shortcuts) {
    entries << QStringLiteral("(%1, {'description': <%2>, 'shortcuts': <[%3]>})")
                   .arg(gvariantString(s.id), gvariantString(s.description), gvariantString(s.accelerator));
  }
  return QStringLiteral("[%1]").arg(entries.join(QStringLiteral(", ")));
}

}  // namespace

int gnomeShellMajorVersion() {
  return qEnvironmentVariable("OSTREL_GNOME_SHELL_VERSION").section(QLatin1Char('.'), 0, 0).toInt();
}

std::optional<std::string> whyNoGnomePortals() {
  const QString missing = qEnvironmentVariable("OSTREL_WAYLAND_MISSING");
  if (!missing.isEmpty()) return "GNOME Shell is not installed here (missing: " + missing.toStdString() + ")";
  if (gnomeShellMajorVersion() < 48) {
    return "GNOME Shell " + qEnvironmentVariable("OSTREL_GNOME_SHELL_VERSION").toStdString() +
           " here: GNOME's GlobalShortcuts portal needs GNOME 48 or later";
  }
  return std::nullopt;
}

std::optional<QString> shellEval(const QString& script, QString* error) {
  QDBusMessage eval = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                                     QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
  eval << script;
  const QDBusMessage answer = QDBusConnection::sessionBus().call(eval, QDBus::Block, 10'000);
  const QVariantList out = answer.arguments();
  if (answer.type() == QDBusMessage::ErrorMessage || out.size() != 2 || !out[0].toBool()) {
    if (error) *error = QStringLiteral("Eval failed: %1 %2").arg(answer.errorMessage(), out.value(1).toString());
    return std::nullopt;
  }
  return out[1].toString();
}

std::optional<QStringList> shellWindowTitles(QString* error) {
  const std::optional<QString> json =
      shellEval(QStringLiteral("global.get_window_actors().map(a => a.meta_window.get_title())"), error);
  if (!json) return std::nullopt;
  QStringList titles;
  for (const QJsonValue& v : QJsonDocument::fromJson(json->toUtf8()).array()) titles << v.toString();
  return titles;
}

bool focusWindowTitled(const QString& title, QString* error) {
  const std::optional<QString> json = shellEval(
      QStringLiteral("Main.overview.hide(); const w = global.get_window_actors().map(a => a.meta_window)"
                     ".find(w => w.get_title() === %1); if (w) w.activate(global.get_current_time()); !!w")
          .arg(QString::fromUtf8(QJsonDocument(QJsonArray{title}).toJson(QJsonDocument::Compact)).mid(1).chopped(1)),
      error);
  if (json && *json == QLatin1String("true")) return true;
  if (json && error) *error = QStringLiteral("no window titled %1").arg(title);
  return false;
}

int windowsTitled(const QString& title) {
  const std::optional<QStringList> titles = shellWindowTitles(nullptr);
  return titles ? int(titles->count(title)) : -1;
}

QImage gnomeScreenshot(const QString& name, QString* error) {
  const QString folder = qEnvironmentVariable("OSTREL_BUILD_DIR") + QStringLiteral("/screenshots");
  const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
  QDir().mkpath(folder);
  QFile::remove(file);
  QDBusMessage shot = QDBusMessage::createMethodCall(
      QStringLiteral("org.gnome.Shell.Screenshot"), QStringLiteral("/org/gnome/Shell/Screenshot"),
      QStringLiteral("org.gnome.Shell.Screenshot"), QStringLiteral("Screenshot"));
  shot << false << false << file;
  const QDBusMessage answer = QDBusConnection::sessionBus().call(shot, QDBus::Block, 30'000);
  QImage image(file);
  if (answer.type() == QDBusMessage::ErrorMessage || image.isNull()) {
    if (error) *error = QStringLiteral("no screenshot: %1").arg(answer.errorMessage());
    return {};
  }
  return image;
}

bool storeShortcutGrant(const QString& appId, const QList<GrantedShortcut>& shortcuts, QString* error) {
  const QString schema = QStringLiteral("org.gnome.settings-daemon.global-shortcuts");
  if (!runTool(QStringLiteral("gsettings"),
               {QStringLiteral("set"), schema, QStringLiteral("applications"),
                QStringLiteral("[%1]").arg(gvariantString(appId))},
               error)) {
    return false;
  }
  return runTool(QStringLiteral("gsettings"),
                 {QStringLiteral("set"),
                  schema + QStringLiteral(".application:/org/gnome/settings-daemon/global-shortcuts/%1/").arg(appId),
                  QStringLiteral("shortcuts"), settingsShortcuts(shortcuts)},
                 error);
}

bool changeShortcutsInSettings(const QString& appId, const QList<GrantedShortcut>& shortcuts, QString* error) {
  return storeShortcutGrant(appId, shortcuts, error) &&
         runTool(QStringLiteral("gdbus"),
                 {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                  QStringLiteral("org.freedesktop.impl.portal.desktop.gnome"), QStringLiteral("--object-path"),
                  QStringLiteral("/org/gnome/globalshortcuts"), QStringLiteral("--method"),
                  QStringLiteral("org.gnome.GlobalShortcutsRebind.RebindShortcuts"), appId,
                  settingsShortcuts(shortcuts)},
                 error);
}

QString storeRemoteDesktopGrant(const QString& appId, QString* error) {
  const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
  // xdg-desktop-portal-gnome 48's restore data: format version 1, (creation
  // time, last use in microseconds, devices, clipboard, screen streams), seen
  // in the permission store after a user accepted the dialog.
  const QString data = QStringLiteral("<('GNOME', uint32 1, <(int64 0, int64 %1, uint32 3, false, @a(uuv) [])>)>")
                           .arg(QDateTime::currentMSecsSinceEpoch() * 1000);
  const bool stored =
      runTool(QStringLiteral("gdbus"),
              {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
               QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), QStringLiteral("--object-path"),
               QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"), QStringLiteral("--method"),
               QStringLiteral("org.freedesktop.impl.portal.PermissionStore.SetValue"), QStringLiteral("remote-desktop"),
               QStringLiteral("true"), token, data},
              error) &&
      setStoredPermission(QStringLiteral("remote-desktop"), token, appId, {QStringLiteral("yes")}, error);
  return stored ? token : QString();
}

bool endShortcutProvider(QString* error) {
  QDBusMessage pid = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                    QStringLiteral("/org/freedesktop/DBus"),
                                                    QStringLiteral("org.freedesktop.DBus"),
                                                    QStringLiteral("GetConnectionUnixProcessID"));
  pid << QStringLiteral("org.gnome.Settings.GlobalShortcutsProvider");
  const QDBusMessage answer = QDBusConnection::sessionBus().call(pid, QDBus::Block, 10'000);
  const uint process = answer.arguments().value(0).toUInt();
  if (answer.type() == QDBusMessage::ErrorMessage || process == 0) {
    if (error) *error = QStringLiteral("no shortcut provider: %1").arg(answer.errorMessage());
    return false;
  }
  return ::kill(pid_t(process), SIGTERM) == 0;
}

}  // namespace ostrel::test
