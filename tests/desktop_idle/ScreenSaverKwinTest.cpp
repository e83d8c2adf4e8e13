// The desktop's screensaver interface as Plasma serves it, on a headless KWin
// (its screen locker, kscreenlocker, runs inside KWin): the lock from
// org.freedesktop.ScreenSaver's ActiveChanged, the idle time that Plasma
// refuses to tell on Wayland, and a lock that is unknown once the locker has
// left the bus. Without kwin_wayland on the machine the test says so and is
// skipped.

#include "platform/screensaver/ScreenSaverIdleMonitor.h"
#include "platform/screensaver/ScreenSaverLockMonitor.h"
#include "support/ChildProcess.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QStandardPaths>

namespace ostrel::test {
namespace {

const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");

TEST(ScreenSaverOnKwin, TheLockComesThroughActiveChangedAndPlasmaOnWaylandKeepsTheIdleTime) {
  QString why;
  EXPECT_EQ(platform::createScreenSaverLockMonitor(QDBusConnection::sessionBus(),
                                                   platform::ScreenSaverService::Freedesktop, &why),
            nullptr);
  EXPECT_EQ(why, QStringLiteral("org.freedesktop.ScreenSaver is not on the session bus"));
  const QString kwin = QStandardPaths::findExecutable(QStringLiteral("kwin_wayland"));
  if (kwin.isEmpty()) GTEST_SKIP() << "kwin_wayland is not installed";

  // The packaged binary carries a file capability a container may not grant;
  // a plain copy has none.
  const QString copy = qEnvironmentVariable("OSTREL_TEST_SCRATCH") + QStringLiteral("/kwin_wayland");
  ASSERT_TRUE(QFile::copy(kwin, copy));
  ChildProcess compositor;
  compositor.setEnvironment(QStringLiteral("DISPLAY"), std::nullopt);
  compositor.setEnvironment(QStringLiteral("WAYLAND_DISPLAY"), std::nullopt);
  compositor.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), std::nullopt);
  compositor.setEnvironment(QStringLiteral("HOME"), qEnvironmentVariable("OSTREL_TEST_SCRATCH"));
  QString error;
  ASSERT_TRUE(compositor.start(
      copy,
      {QStringLiteral("--virtual"), QStringLiteral("--socket"), QStringLiteral("wl-ostrel-kwin"),
       QStringLiteral("--width"), QStringLiteral("800"), QStringLiteral("--height"), QStringLiteral("600")},
      &error))
      << error.toStdString();
  // KWin takes the name before its locker serves the interface: up once the
  // locker answers.
  const auto lockerAnswers = [] {
    if (!QDBusConnection::sessionBus().interface()->isServiceRegistered(kScreenSaver).value()) return false;
    const QDBusMessage active = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        kScreenSaver, QStringLiteral("/ScreenSaver"), kScreenSaver, QStringLiteral("GetActive")));
    return active.type() == QDBusMessage::ReplyMessage;
  };
  ASSERT_TRUE(runEventLoopUntil(lockerAnswers, 60000)) << "KWin's screen locker did not come up";

  EXPECT_EQ(platform::createScreenSaverIdleMonitor(QDBusConnection::sessionBus(), &why), nullptr);
  EXPECT_EQ(why.toStdString(),
            "org.freedesktop.ScreenSaver does not tell the idle time (org.freedesktop.DBus.Error.NotSupported: "
            "GetSessionIdleTime is not supported on this platform)");
  EXPECT_EQ(
      platform::createScreenSaverLockMonitor(QDBusConnection::sessionBus(), platform::ScreenSaverService::Gnome, &why),
      nullptr)
      << "not GNOME";

  std::unique_ptr<platform::SessionLockMonitor> lock = platform::createScreenSaverLockMonitor(
      QDBusConnection::sessionBus(), platform::ScreenSaverService::Freedesktop, &why);
  ASSERT_TRUE(lock) << why.toStdString();
  int changes = 0;
  lock->setChangedHandler([&changes] { ++changes; });
  EXPECT_EQ(lock->isLocked(), std::optional<bool>(false));

  // What the desktop's "Lock Screen" does.
  QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaver, QStringLiteral("/ScreenSaver"), kScreenSaver,
                                                     QStringLiteral("Lock"));
  const QDBusMessage locked = QDBusConnection::sessionBus().call(call, QDBus::Block, 20000);
  ASSERT_EQ(locked.type(), QDBusMessage::ReplyMessage) << locked.errorMessage().toStdString();
  ASSERT_TRUE(runEventLoopUntil([&] { return lock->isLocked() == std::optional<bool>(true); }, 20000));
  EXPECT_EQ(changes, 1);

  compositor.stop();
  ASSERT_TRUE(runEventLoopUntil([&] { return !lock->isLocked().has_value(); }, 10000))
      << "without the locker the lock is unknown";
  EXPECT_EQ(changes, 2);
}

}  // namespace
}  // namespace ostrel::test
