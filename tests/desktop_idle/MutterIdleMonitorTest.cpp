// GNOME's idle time through GNOME Shell's own org.gnome.Mutter.IdleMonitor, on
// a headless GNOME Shell: the idle watch fires once nobody has typed for the
// threshold, a key sent through Mutter's RemoteDesktop (the compositor's own
// input path) brings the session back, and a shell that leaves the bus leaves
// the idle time unknown. Without gnome-shell on the machine the test says so
// and is skipped.

#include "platform/mutter/MutterIdleMonitor.h"
#include "support/ChildProcess.h"
#include "support/EventLoopWait.h"
#include "support/PrivateBus.h"

#include <gtest/gtest.h>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

const QString kGnomeShell = QStringLiteral("/usr/bin/gnome-shell");
const QString kRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");

bool onBus(const QString& name) {
  return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

QDBusMessage remoteDesktop(const QString& path, const QString& interface, const QString& method,
                           const QVariantList& arguments = {}) {
  QDBusMessage call = QDBusMessage::createMethodCall(kRemoteDesktop, path, interface, method);
  call.setArguments(arguments);
  return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

// A key pressed and released on the compositor's own input path.
bool pressShift() {
  const QDBusMessage created =
      remoteDesktop(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), kRemoteDesktop, QStringLiteral("CreateSession"));
  if (created.type() != QDBusMessage::ReplyMessage) return false;
  const QString session = created.arguments().value(0).value<QDBusObjectPath>().path();
  const QString interface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
  if (remoteDesktop(session, interface, QStringLiteral("Start")).type() != QDBusMessage::ReplyMessage) return false;
  const uint leftShift = 42;
  for (const bool down : {true, false}) {
    if (remoteDesktop(session, interface, QStringLiteral("NotifyKeyboardKeycode"), {leftShift, down}).type() !=
        QDBusMessage::ReplyMessage)
      return false;
  }
  remoteDesktop(session, interface, QStringLiteral("Stop"));
  return true;
}

TEST(MutterIdleMonitor, IdleAfterTheThresholdBackOnAKeyAndUnknownWithoutTheShell) {
  QString why;
  EXPECT_EQ(platform::createMutterIdleMonitor(QDBusConnection::sessionBus(), &why), nullptr) << "no GNOME Shell yet";
  EXPECT_EQ(why, QStringLiteral("GNOME's org.gnome.Mutter.IdleMonitor is not on the session bus"));
  if (!QFileInfo(kGnomeShell).isExecutable()) GTEST_SKIP() << "gnome-shell is not installed";

  PrivateBus systemBus;
  QString error;
  ASSERT_TRUE(systemBus.start(QStringLiteral("system-bus"), &error)) << error.toStdString();
  ChildProcess shell;
  shell.setEnvironment(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), systemBus.address());
  shell.setEnvironment(QStringLiteral("DISPLAY"), std::nullopt);
  shell.setEnvironment(QStringLiteral("WAYLAND_DISPLAY"), std::nullopt);
  shell.setEnvironment(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
  shell.setEnvironment(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME"));
  shell.setEnvironment(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
  shell.setEnvironment(QStringLiteral("GTK_A11Y"), QStringLiteral("none"));
  shell.setEnvironment(QStringLiteral("HOME"), qEnvironmentVariable("OSTREL_TEST_SCRATCH"));
  ASSERT_TRUE(shell.start(kGnomeShell,
                          {QStringLiteral("--headless"), QStringLiteral("--virtual-monitor"),
                           QStringLiteral("1024x768"), QStringLiteral("--wayland"), QStringLiteral("--wayland-display"),
                           QStringLiteral("wl-ostrel-gnome"), QStringLiteral("--no-x11")},
                          &error))
      << error.toStdString();
  ASSERT_TRUE(runEventLoopUntil(
      [] { return onBus(QStringLiteral("org.gnome.Mutter.IdleMonitor")) && onBus(kRemoteDesktop); }, 60000))
      << "GNOME Shell did not come up";

  std::unique_ptr<platform::IdleMonitor> monitor =
      platform::createMutterIdleMonitor(QDBusConnection::sessionBus(), &why);
  ASSERT_TRUE(monitor) << why.toStdString();
  int changes = 0;
  monitor->setChangedHandler([&changes] { ++changes; });
  EXPECT_EQ(monitor->isIdle(), std::optional<bool>(false)) << "nothing is idle before a threshold";

  // Nobody types on a headless shell: idle 1.5 s after the last input.
  ASSERT_TRUE(pressShift());
  monitor->setIdleThreshold(1500ms);
  runEventLoopFor(800);
  EXPECT_EQ(monitor->isIdle(), std::optional<bool>(false));
  ASSERT_TRUE(runEventLoopUntil([&] { return monitor->isIdle() == std::optional<bool>(true); }, 10000));
  EXPECT_EQ(changes, 1);

  ASSERT_TRUE(pressShift());
  ASSERT_TRUE(runEventLoopUntil([&] { return monitor->isIdle() == std::optional<bool>(false); }, 10000))
      << "the key brings the session back";
  EXPECT_EQ(changes, 2);
  ASSERT_TRUE(runEventLoopUntil([&] { return monitor->isIdle() == std::optional<bool>(true); }, 10000))
      << "and nobody again";
  EXPECT_EQ(changes, 3);

  // A threshold the session is already past is idle at once.
  monitor->setIdleThreshold(1000ms);
  runEventLoopFor(500);
  EXPECT_EQ(monitor->isIdle(), std::optional<bool>(true));

  shell.stop();
  ASSERT_TRUE(runEventLoopUntil([&] { return !monitor->isIdle().has_value(); }, 10000))
      << "without the shell the idle time is unknown";
  EXPECT_EQ(changes, 4);
}

}  // namespace
}  // namespace ostrel::test
