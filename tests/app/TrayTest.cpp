// Ostrel started as at login, with a real status-notifier host: the packaged
// gtk-sni-tray-standalone and status-notifier-watcher, on the test's Xvfb and
// session bus. The test reads the icon's menu and clicks its items over the D-Bus
// protocol the host uses, and clicks the icon in the host's bar with the real
// pointer; autostart entries are real files in the test's XDG_CONFIG_HOME.
#include "support/ChildProcess.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QFileInfo>
#include <ostream>
#include <thread>

inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kMenu = QStringLiteral("com.canonical.dbusmenu");

QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments = {}) {
  QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
  message.setArguments(arguments);
  return QDBusConnection::sessionBus().call(message, QDBus::Block, 10000);
}

QVariant property(const QString& service, const QString& path, const QString& interface, const QString& name) {
  const QDBusMessage reply =
      call(service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {interface, name});
  return reply.arguments().isEmpty() ? QVariant() : qvariant_cast<QDBusVariant>(reply.arguments().front()).variant();
}

QVariant watcherProperty(const char* name) {
  return property(kWatcher, QStringLiteral("/StatusNotifierWatcher"), kWatcher, QString::fromLatin1(name));
}

// Polls until `done` holds: the protocol's peers answer in their own time.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s) {
  for (const auto deadline = MonotonicClock::now() + timeout; !done(); std::this_thread::sleep_for(50ms)) {
    if (MonotonicClock::now() > deadline) return false;
  }
  return true;
}

// A panel as a desktop has one: the watcher, then the host's bar at the bottom of
// the screen, where Ostrel's window (top left: Xvfb has no window manager to
// place it) does not cover it. The watcher runs as a process of its own and is
// answering before the bar starts: the bar's built-in watcher (--watcher) takes
// the bus name before it serves the object, and about one start in sixty the
// bar's own registration meets UnknownObject and the bar exits.
struct TrayHost {
  ChildProcess watcher;
  ChildProcess bar;

  bool start() {
    QString error;
    if (!watcher.start(QStringLiteral("/usr/bin/status-notifier-watcher"), {}, &error)) {
      ADD_FAILURE() << error.toStdString() << " (Debian package haskell-status-notifier-item-utils)";
      return false;
    }
    if (!waitFor([] { return watcherProperty("IsStatusNotifierHostRegistered").isValid(); })) {
      ADD_FAILURE() << "the status-notifier watcher does not answer";
      return false;
    }
    bar.setEnvironment(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    if (!bar.start(QStringLiteral("/usr/bin/gtk-sni-tray-standalone"), {QStringLiteral("--bottom")}, &error)) {
      ADD_FAILURE() << error.toStdString() << " (Debian package haskell-gtk-sni-tray-utils)";
      return false;
    }
    if (waitFor([] { return watcherProperty("IsStatusNotifierHostRegistered").toBool(); })) return true;
    for (const StampedLine& line : bar.lines(ChildStream::Error)) ADD_FAILURE() << "host: " << line.text.toStdString();
    return false;
  }
};

// One entry of a dbusmenu layout, (ia{sv}av).
struct MenuEntry {
  int id = 0;
  QVariantMap properties;
  std::vector<MenuEntry> children;
};

const QDBusArgument& operator>>(const QDBusArgument& argument, MenuEntry& entry) {
  argument.beginStructure();
  argument >> entry.id >> entry.properties;
  argument.beginArray();
  while (!argument.atEnd()) {
    QDBusVariant child;
    argument >> child;
    child.variant().value<QDBusArgument>() >> entry.children.emplace_back();
  }
  argument.endArray();
  argument.endStructure();
  return argument;
}

enum Item : std::size_t { FastRefresh, ContrastUp, ContrastDown, ShowOstrel, Settings, StartAtLogin, Quit };

// Ostrel's status-notifier item, as the host sees it.
class TrayItem {
 public:
  // Waits until process `pid` has an item registered with the watcher.
  bool find(pid_t pid) {
    return waitFor([&] {
      for (const QString& item : watcherProperty("RegisteredStatusNotifierItems").toStringList()) {
        service_ = item.section(QLatin1Char('/'), 0, 0);
        if (QDBusConnection::sessionBus().interface()->servicePid(service_).value() != static_cast<uint>(pid)) continue;
        menu_ = qvariant_cast<QDBusObjectPath>(property(service_, QStringLiteral("/StatusNotifierItem"),
                                                        QStringLiteral("org.kde.StatusNotifierItem"),
                                                        QStringLiteral("Menu")))
                    .path();
        return !menu_.isEmpty();
      }
      return false;
    });
  }

  // The menu as the host shows it when it opens: the items' labels, separators
  // left out, "*" before a checked one.
  QStringList open() {
    call(service_, menu_, kMenu, QStringLiteral("AboutToShow"), {0});
    const QDBusMessage reply = call(service_, menu_, kMenu, QStringLiteral("GetLayout"), {0, -1, QStringList()});
    MenuEntry root;
    if (reply.arguments().size() == 2) reply.arguments().at(1).value<QDBusArgument>() >> root;
    QStringList shown;
    ids_.clear();
    for (const MenuEntry& entry : root.children) {
      if (entry.properties.value(QStringLiteral("type")) == QStringLiteral("separator")) continue;
      const bool checked = entry.properties.value(QStringLiteral("toggle-state")).toInt() == 1;
      shown << (checked ? QStringLiteral("*") : QString()) + entry.properties.value(QStringLiteral("label")).toString();
      ids_.push_back(entry.id);
    }
    return shown;
  }

  bool click(Item item) {
    open();
    return item < ids_.size() && call(service_, menu_, kMenu, QStringLiteral("Event"),
                                      {ids_[item], QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u})
                                         .type() == QDBusMessage::ReplyMessage;
  }

 private:
  QString service_;
  QString menu_;
  std::vector<int> ids_;
};

bool xdotoolLine(const QString& line, QByteArray* output = nullptr) {
  return xdotool(line.split(QLatin1Char(' ')), output);
}

QString focusedWindow() {
  QByteArray focused;
  xdotoolLine(QStringLiteral("getwindowfocus"), &focused);
  return QString::fromLatin1(focused.trimmed());
}

QString autostartEntry() {
  return qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/VELDOR.Ostrelkick.desktop";
}
bool autostartEntryExists() {
  return QFileInfo::exists(autostartEntry());
}

TEST(Tray, StartedAtLoginOstrelIsMinimisedAndItsTrayIconAndMenusDriveIt) {
  TrayHost host;
  ASSERT_TRUE(host.start());
  SimulatedMonitor monitor(48, QStringLiteral("tray-sim"));
  QString error;
  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  OstrelProcess ostrel;
  ASSERT_TRUE(ostrel.start(&error, {QStringLiteral("--minimized")})) << error.toStdString();
  ASSERT_TRUE(ostrel.waitUntilReady()) << ostrel.logText().toStdString();
  const QString window = *ostrel.waitForWindow();
  ChildProcess xprop;  // what a window manager obeys when it maps the window
  ASSERT_TRUE(xprop.start(QStringLiteral("/usr/bin/xprop"), {"-id", window, "WM_HINTS"}, &error));
  ASSERT_TRUE(xprop.waitForExit(30s) && xprop.waitForEndOfStreams(5s));
  EXPECT_EQ(xprop.countLines(ChildStream::Output, "\t\tInitial state is Iconic State."), 1);
  EXPECT_EQ(property("VELDOR.Ostrel", "/VELDOR/Ostrel", "VELDOR.Ostrel1", "Version").toString(),
            QStringLiteral(OSTREL_TEST_PROJECT_VERSION));

  TrayItem tray;
  ASSERT_TRUE(tray.find(ostrel.process().pid())) << ostrel.logText().toStdString();
  // No language chosen yet: Chinese, like the window.
  EXPECT_EQ(tray.open(), (QStringList{"快速刷新(_F)", "提高对比度(_U)", "降低对比度(_D)", "显示 Ostrel(_H)",
                                      "高级设置(_S)…", "开机自启动(_L)", "退出(_Q)"}));
  ASSERT_TRUE(monitor.waitForFrame(commandFrame(10, 8), 30s).has_value()) << "the read-back did not end";
  const std::size_t from = monitor.frameCount();
  ASSERT_TRUE(tray.click(FastRefresh));
  EXPECT_TRUE(monitor.waitForFrame(commandFrame(3, 1), 10s, from).has_value());
  ASSERT_TRUE(tray.click(ContrastUp));
  EXPECT_TRUE(monitor.waitForFrame(commandFrame(10, 1), 10s, from).has_value()) << "no contrast step and read-back";

  ASSERT_TRUE(tray.click(StartAtLogin));
  EXPECT_TRUE(waitFor(autostartEntryExists, 10s)) << "Ostrelkick was not registered";
  EXPECT_TRUE(tray.open().contains(QStringLiteral("*开机自启动(_L)")));
  ASSERT_TRUE(QFile::remove(autostartEntry()));
  EXPECT_TRUE(tray.open().contains(QStringLiteral("开机自启动(_L)"))) << "an entry removed by hand still shows";

  // A click on the icon, first in the host's bar, brings the window up.
  QByteArray screen;
  ASSERT_TRUE(xdotoolLine(QStringLiteral("getdisplaygeometry"), &screen));
  ASSERT_NE(focusedWindow(), window);
  ASSERT_TRUE(
      xdotoolLine(QStringLiteral("mousemove 15 %1 click 1").arg(screen.trimmed().split(' ').last().toInt() - 15)));
  ASSERT_TRUE(ostrel.waitForLog("Tray icon clicked: showing the window", 20s).has_value()) << "the click missed";
  EXPECT_TRUE(waitFor([&] { return focusedWindow() == window; }, 20s))
      << "focus is on " << focusedWindow().toStdString();
  // The window's own Ostrel menu switches start at login the same way.
  ASSERT_TRUE(xdotoolLine(QStringLiteral("key alt+o l")));  // the open menu takes the "l"
  EXPECT_TRUE(waitFor(autostartEntryExists, 10s)) << "Start at Login in the window's menu did nothing";

  ASSERT_TRUE(tray.click(Quit));
  const std::optional<ChildExit> exit = ostrel.waitForExit(20s);
  ASSERT_TRUE(exit.has_value()) << "Quit in the tray did not end Ostrel";
  EXPECT_EQ(exit->status, 0);
}

TEST(Tray, WithoutAHostNothingOfTheTrayExistsAndAHostThatComesLaterGetsTheIcon) {
  ASSERT_TRUE(writePreferences({{QStringLiteral("language"), 1}}));
  QFile::remove(autostartEntry());
  OstrelProcess ostrel;
  QString error;
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  ASSERT_TRUE(ostrel.waitUntilReady()) << ostrel.logText().toStdString();
  const QStringList names = QDBusConnection::sessionBus().interface()->registeredServiceNames().value();
  EXPECT_TRUE(names.filter(QStringLiteral("StatusNotifierItem")).isEmpty()) << names.join(' ').toStdString();

  TrayHost host;  // a panel starting after Ostrel, as at login
  ASSERT_TRUE(host.start());
  TrayItem tray;
  ASSERT_TRUE(tray.find(ostrel.process().pid())) << ostrel.logText().toStdString();
  EXPECT_EQ(tray.open(), (QStringList{"_Fast Refresh", "Contrast _Up", "Contrast _Down", "S_how Ostrel", "_Settings…",
                                      "Start at _Login", "_Quit"}));
  ASSERT_TRUE(tray.click(Settings));
  EXPECT_TRUE(ostrel.waitForLog("TestSecondView viewDidLoad", 20s).has_value()) << "the settings window did not open";
}

}  // namespace
}  // namespace ostrel::test
