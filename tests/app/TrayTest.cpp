// Ostrel's tray icon with a real status-notifier host: the packaged
// gtk-sni-tray-standalone, which runs on the test's Xvfb and session bus and
// keeps its own org.kde.StatusNotifierWatcher. The test reads the icon's menu
// and sends its clicks over the same D-Bus protocol the host uses, and clicks
// the icon in the host's bar with the real pointer.
#include "support/ChildProcess.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QPoint>
#include <ostream>
#include <thread>

inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments = {}) {
  QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
  message.setArguments(arguments);
  return QDBusConnection::sessionBus().call(message, QDBus::Block, 10000);
}

QVariant property(const QString& service, const QString& path, const QString& interface, const QString& name) {
  const QDBusMessage reply =
      call(service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {interface, name});
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
}

// Polls `done` until it holds: the protocol's peers answer in their own time.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s) {
  const auto deadline = MonotonicClock::now() + timeout;
  while (!done()) {
    if (MonotonicClock::now() > deadline) return done();
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

class TrayHost {
 public:
  // Where the first icon of the host's bar is, from the bar's window.
  static std::optional<QPoint> firstIcon() {
    QByteArray ids;
    if (!xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                  QStringLiteral("gtk-sni-tray-standalone")},
                 &ids))
      return std::nullopt;
    for (const QByteArray& id : ids.trimmed().split('\n')) {
      QByteArray shape;
      if (!xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::fromLatin1(id)}, &shape))
        continue;
      QMap<QByteArray, int> values;
      for (const QByteArray& line : shape.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0) values.insert(line.left(equals), line.mid(equals + 1).toInt());
      }
      const int height = values.value("HEIGHT");
      // The bar spans the screen; GTK's other windows are tiny.
      if (values.value("WIDTH") > 100 && height > 0)
        return QPoint(values.value("X") + height / 2, values.value("Y") + height / 2);
    }
    return std::nullopt;
  }

  bool start() {
    host_.setEnvironment(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    QString error;
    // At the bottom of the screen, where Ostrel's window (top left, as Xvfb
    // has no window manager to place it) does not cover it.
    if (!host_.start(QStringLiteral("/usr/bin/gtk-sni-tray-standalone"),
                     {QStringLiteral("--watcher"), QStringLiteral("--bottom")}, &error)) {
      ADD_FAILURE() << error.toStdString() << " (Debian package haskell-gtk-sni-tray-utils)";
      return false;
    }
    return waitFor([] {
      return property(kWatcher, kWatcherPath, kWatcher, QStringLiteral("IsStatusNotifierHostRegistered")).toBool();
    });
  }

 private:
  ChildProcess host_;
};

// One entry of a dbusmenu layout: (ia{sv}av).
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
    MenuEntry childEntry;
    child.variant().value<QDBusArgument>() >> childEntry;
    entry.children.push_back(childEntry);
  }
  argument.endArray();
  argument.endStructure();
  return argument;
}

// Ostrel's status-notifier item as the host sees it.
class TrayItem {
 public:
  // Waits until the process `pid` has an item registered with the watcher.
  bool find(pid_t pid) {
    return waitFor([&] {
      const QStringList items =
          property(kWatcher, kWatcherPath, kWatcher, QStringLiteral("RegisteredStatusNotifierItems")).toStringList();
      for (const QString& item : items) {
        const QString service = item.section(QLatin1Char('/'), 0, 0);
        const QDBusReply<uint> owner = QDBusConnection::sessionBus().interface()->servicePid(service);
        if (!owner.isValid() || owner.value() != static_cast<uint>(pid)) continue;
        service_ = service;
        const QString path = item.section(QLatin1Char('/'), 1);
        path_ = path.isEmpty() ? QStringLiteral("/StatusNotifierItem") : QLatin1Char('/') + path;
        menu_ = qvariant_cast<QDBusObjectPath>(
                    property(service_, path_, QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Menu")))
                    .path();
        return !menu_.isEmpty();
      }
      return false;
    });
  }

  // What the host shows when the menu opens: the labels of the items
  // (separators left out), with a "*" before a checked one.
  QStringList open() {
    call(service_, menu_, kMenuInterface, QStringLiteral("AboutToShow"), {0});
    const QDBusMessage reply =
        call(service_, menu_, kMenuInterface, QStringLiteral("GetLayout"), {0, -1, QStringList()});
    entries_.clear();
    QStringList shown;
    if (reply.arguments().size() < 2) return shown;
    MenuEntry root;
    reply.arguments().at(1).value<QDBusArgument>() >> root;
    for (const MenuEntry& entry : root.children) {
      if (entry.properties.value(QStringLiteral("type")).toString() == QLatin1String("separator")) continue;
      const QString label = entry.properties.value(QStringLiteral("label")).toString();
      const bool checked = entry.properties.value(QStringLiteral("toggle-state")).toInt() == 1;
      shown << (checked ? QStringLiteral("*") : QString()) + label;
      entries_.emplace_back(label, entry.id);
    }
    return shown;
  }

  // Clicks the item at `position` of the last open() in the host's menu.
  bool click(std::size_t position) {
    if (position >= entries_.size()) return false;
    const QDBusMessage reply =
        call(service_, menu_, kMenuInterface, QStringLiteral("Event"),
             {entries_[position].second, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    return reply.type() == QDBusMessage::ReplyMessage;
  }

 private:
  QString service_;
  QString path_;
  QString menu_;
  std::vector<std::pair<QString, int>> entries_;
};

enum Item : std::size_t { FastRefresh, ContrastUp, ContrastDown, ShowOstrel, Settings, StartAtLogin, Quit };

QString autostartEntry() {
  return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/VELDOR.Ostrelkick.desktop");
}

QString focusedWindow() {
  QByteArray focused;
  xdotool({QStringLiteral("getwindowfocus")}, &focused);
  return QString::fromLatin1(focused.trimmed());
}

TEST(Tray, StartedAtLoginOstrelIsMinimisedAndItsTrayIconDrivesIt) {
  TrayHost host;
  ASSERT_TRUE(host.start());
  SimulatedMonitor monitor(48, QStringLiteral("tray-sim"));
  QString error;
  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  OstrelProcess ostrel;
  ASSERT_TRUE(ostrel.start(&error, {QStringLiteral("--minimized")})) << error.toStdString();
  ASSERT_TRUE(ostrel.waitUntilReady()) << ostrel.logText().toStdString();
  const QString window = *ostrel.waitForWindow();
  {
    // Xvfb has no window manager to iconify it; the request is what one obeys.
    ChildProcess xprop;
    ASSERT_TRUE(xprop.start(QStringLiteral("/usr/bin/xprop"),
                            {QStringLiteral("-id"), window, QStringLiteral("WM_HINTS")}, &error));
    ASSERT_TRUE(xprop.waitForExit(30s).has_value());
    xprop.waitForEndOfStreams(5s);
    QByteArray hints;
    for (const StampedLine& line : xprop.lines(ChildStream::Output)) hints += line.text + '\n';
    EXPECT_TRUE(hints.contains("Initial state is Iconic State.")) << hints.toStdString();
  }

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
  EXPECT_TRUE(waitFor([] { return QFileInfo::exists(autostartEntry()); }, 10s)) << "Ostrelkick was not registered";
  EXPECT_TRUE(tray.open().contains(QStringLiteral("*开机自启动(_L)")));
  ASSERT_TRUE(QFile::remove(autostartEntry()));  // by hand, or by the desktop's settings
  EXPECT_TRUE(tray.open().contains(QStringLiteral("开机自启动(_L)")));

  // A click on the icon in the host's bar brings the window up.
  ASSERT_NE(focusedWindow(), window);
  const std::optional<QPoint> icon = TrayHost::firstIcon();
  ASSERT_TRUE(icon.has_value());
  ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(icon->x()), QString::number(icon->y()),
                       QStringLiteral("click"), QStringLiteral("1")}));
  ASSERT_TRUE(ostrel.waitForLog("Tray icon clicked: showing the window", 20s).has_value()) << "the click missed";
  EXPECT_TRUE(waitFor([&] { return focusedWindow() == window; }, 20s))
      << "focus is on " << focusedWindow().toStdString();

  tray.open();
  ASSERT_TRUE(tray.click(Quit));
  const std::optional<ChildExit> exit = ostrel.waitForExit(20s);
  ASSERT_TRUE(exit.has_value()) << "Quit in the tray did not end Ostrel";
  EXPECT_EQ(exit->status, 0);
}

TEST(Tray, WithoutAHostNothingOfTheTrayExistsAndAHostThatComesLaterGetsTheIcon) {
  ASSERT_TRUE(writePreferences({{QStringLiteral("language"), 1}}));
  OstrelProcess ostrel;
  QString error;
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  ASSERT_TRUE(ostrel.waitUntilReady()) << ostrel.logText().toStdString();
  const QStringList names = QDBusConnection::sessionBus().interface()->registeredServiceNames().value();
  EXPECT_TRUE(names.filter(QStringLiteral("org.kde.StatusNotifierItem")).isEmpty()) << names.join(' ').toStdString();
  EXPECT_EQ(ostrel.countLog("Tray icon shown"), 0);

  TrayHost host;  // a panel starting after Ostrel at login
  ASSERT_TRUE(host.start());
  TrayItem tray;
  ASSERT_TRUE(tray.find(ostrel.process().pid())) << ostrel.logText().toStdString();
  EXPECT_EQ(tray.open(), (QStringList{"_Fast Refresh", "Contrast _Up", "Contrast _Down", "S_how Ostrel", "_Settings…",
                                      "Start at _Login", "_Quit"}));
  ASSERT_TRUE(tray.click(Settings));
  EXPECT_TRUE(ostrel.waitForLog("TestSecondView viewDidLoad", 20s).has_value()) << "the settings window did not open";
  ostrel.stop();
}

}  // namespace
}  // namespace ostrel::test
