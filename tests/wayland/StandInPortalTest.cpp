// The portal backends against a stand-in portal on a private bus, behind the
// same D-Bus interface, for what a real desktop cannot answer headlessly: a
// user who declines, or who leaves a dialog open for a while and then
// cancels it, and RemoteDesktop version 2's restore token, which only newer
// portals hand out.
#include "common/DesktopServices.h"
#include "common/Log.h"
#include "platform/portal/PortalPlatform.h"
#include "support/ChildProcess.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDBusConnection>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

class StandInPortal {
 public:
  explicit StandInPortal(const QStringList& options) {
    DesktopServices::shared().reset();
    QString error;
    EXPECT_TRUE(process_.start(QStringLiteral(OSTREL_STANDIN_PORTAL), options, &error)) << error.toStdString();
    EXPECT_TRUE(process_.waitForLine(
        ChildStream::Output, [](const QByteArray& l) { return l == "ready"; }, 60s));
  }
  // The calls of `method` so far, their options in order.
  QList<QJsonObject> calls(const QString& method) const {
    QList<QJsonObject> out;
    for (const StampedLine& l : process_.lines(ChildStream::Output)) {
      const QJsonObject o = QJsonDocument::fromJson(l.text).object();
      if (o[QStringLiteral("call")] == method) out << o[QStringLiteral("options")].toObject();
    }
    return out;
  }
  // Runs the event loop until the `n`th call of `method` (from 1) is in; its options.
  QJsonObject call(const QString& method, int n) {
    runEventLoopUntil([&] { return calls(method).size() >= n; }, 60'000);
    return calls(method).value(n - 1);
  }

 private:
  ChildProcess process_;
};

template <typename Match>
int countLines(const LogCapture& log, Match match) {
  int n = 0;
  for (const QString& line : log.lines()) n += match(line) ? 1 : 0;
  return n;
}

std::vector<platform::WatchedShortcut> shortcuts(std::uint16_t refreshKey) {
  return {{DesktopShortcutRefresh, QStringLiteral("Fast refresh"), refreshKey, 0x40000},
          {DesktopShortcutContrastUp, QStringLiteral("Contrast up"), 32, 0x40000}};
}

TEST(StandInPortal, DeclinedBindShortcutsIsSaidOnceAndAskedAgainOnlyWhenTheShortcutsChange) {
  LogCapture log;
  StandInPortal portal({QStringLiteral("--decline-bind")});
  QString why;
  auto monitor = platform::createPortalGlobalKeyMonitor(QDBusConnection::sessionBus(), &why);
  ASSERT_TRUE(monitor) << why.toStdString();
  monitor->watchShortcuts(shortcuts(2));
  ASSERT_TRUE(monitor->start([](const platform::KeyPress&) {}, &why));
  const QString declined = QStringLiteral(
      "The desktop declined Ostrel's global shortcuts; Ostrel asks again when they change or at its next start");
  ASSERT_TRUE(runEventLoopUntil([&] { return log.count(declined) == 1; }, 60'000));
  EXPECT_EQ(DesktopServices::shared().binding(), ShortcutBinding::Declined);
  // KDE 5.27 binds only what CreateSession lists: the list goes there too.
  EXPECT_EQ(portal.call(QStringLiteral("GlobalShortcuts.CreateSession"), 1)[QStringLiteral("shortcuts")],
            portal.call(QStringLiteral("BindShortcuts"), 1)[QStringLiteral("shortcuts")]);

  monitor->watchShortcuts(shortcuts(2));  // unchanged: not asked again
  monitor->watchShortcuts(shortcuts(15));
  const QJsonObject second = portal.call(QStringLiteral("GlobalShortcuts.CreateSession"), 2);
  EXPECT_EQ(second[QStringLiteral("shortcuts")][0][1][QStringLiteral("preferred_trigger")], QStringLiteral("CTRL+R"));
  EXPECT_EQ(second[QStringLiteral("session_handle_token")], QStringLiteral("ostrel"));
  ASSERT_TRUE(runEventLoopUntil([&] { return log.count(declined) == 2; }, 60'000));
  EXPECT_EQ(portal.calls(QStringLiteral("GlobalShortcuts.CreateSession")).size(), 2);
}

TEST(StandInPortal, DeclinedStartKeepsInputOffAndIsAskedAgainAtTheNextMonitorConnection) {
  LogCapture log;
  StandInPortal portal({QStringLiteral("--decline-start")});
  QString why;
  auto injector = platform::createPortalInputInjector(QDBusConnection::sessionBus(), &why);
  ASSERT_TRUE(injector) << why.toStdString();
  EXPECT_FALSE(injector->tapKey(121)) << "input before any monitor connected";
  injector->requestAccess();
  ASSERT_TRUE(runEventLoopUntil(
      [&] {
        return log.count(QStringLiteral("The desktop declined to take the monitor's keys and pointer; they stay off "
                                        "until a monitor is connected again")) == 1;
      },
      60'000));
  EXPECT_FALSE(injector->tapKey(121));
  EXPECT_FALSE(injector->movePointerBy(6, 0));
  injector->requestAccess();  // the next monitor connection asks again
  EXPECT_FALSE(portal.call(QStringLiteral("Start"), 2).isEmpty());
  EXPECT_TRUE(portal.calls(QStringLiteral("NotifyKeyboardKeycode")).isEmpty());
}

TEST(StandInPortal, RestoreTokenOfVersionTwoIsKeptPrivateAndOfferedAtTheNextStart) {
  StandInPortal portal({QStringLiteral("--remote-desktop-version"), QStringLiteral("2")});
  const QString folder = qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/ostrel");
  const auto startSession = [&](int n) {  // the n-th start of Ostrel with a monitor
    QString why;
    auto injector = platform::createPortalInputInjector(QDBusConnection::sessionBus(), &why);
    EXPECT_TRUE(injector) << why.toStdString();
    injector->requestAccess();
    EXPECT_TRUE(runEventLoopUntil([&] { return injector->tapKey(121); }, 60'000));
    portal.call(QStringLiteral("NotifyKeyboardKeycode"), 2 * n);  // press and release went out
    return portal.call(QStringLiteral("SelectDevices"), n);
  };
  const auto mode = [](const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0u;
  };
  const auto kept = [&] {
    QFile file(folder + QStringLiteral("/remote-desktop-token"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
  };
  const QJsonObject first = startSession(1);
  EXPECT_EQ(first[QStringLiteral("persist_mode")], 2);
  EXPECT_FALSE(first.contains(QStringLiteral("restore_token")));
  EXPECT_EQ(kept(), "token-1");
  EXPECT_EQ(mode(folder + QStringLiteral("/remote-desktop-token")), 0600u);
  EXPECT_EQ(mode(folder), 0700u);

  const QJsonObject second = startSession(2);
  EXPECT_EQ(second[QStringLiteral("restore_token")], QStringLiteral("token-1"));
  EXPECT_EQ(kept(), "token-2");
}

TEST(StandInPortal, ABindAnsweredWithResponseTwoThatCarriesTheShortcutsIsABind) {
  // xdg-desktop-portal-gnome 48.0's answer to a successful bind, after the
  // ShortcutsChanged it sends while binding.
  LogCapture log;
  StandInPortal portal({QStringLiteral("--bind-response"), QStringLiteral("2")});
  QString why;
  auto monitor = platform::createPortalGlobalKeyMonitor(QDBusConnection::sessionBus(), &why);
  ASSERT_TRUE(monitor) << why.toStdString();
  monitor->watchShortcuts(shortcuts(2));
  ASSERT_TRUE(monitor->start([](const platform::KeyPress&) {}, &why));
  const DesktopServices& services = DesktopServices::shared();
  ASSERT_TRUE(runEventLoopUntil([&] { return services.binding() == ShortcutBinding::Bound; }, 60'000))
      << log.lines().join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(services.assignment(DesktopShortcutRefresh).assigned, QStringLiteral("CTRL+D"));
  EXPECT_EQ(services.shortcutsChangedByDesktop(), 0) << "the bind's own ShortcutsChanged is no re-assignment";
  EXPECT_EQ(countLines(log, [](const QString& l) { return l.startsWith(QLatin1String("The desktop bound Ostrel's global shortcuts: refresh = CTRL+D")); }), 1);
  EXPECT_EQ(countLines(log, [](const QString& l) { return l.contains(QLatin1String("could not bind")); }), 0);
}

TEST(StandInPortal, WhileTheDesktopsDialogIsOpenOstrelWaitsAsksNothingMoreAndACancelIsSaidOnce) {
  LogCapture log;
  StandInPortal portal({QStringLiteral("--bind-delay"), QStringLiteral("4000"), QStringLiteral("--bind-response"),
                        QStringLiteral("2"), QStringLiteral("--bind-binds-nothing")});
  QString why;
  auto monitor = platform::createPortalGlobalKeyMonitor(QDBusConnection::sessionBus(), &why);
  ASSERT_TRUE(monitor) << why.toStdString();
  monitor->watchShortcuts(shortcuts(2));
  ASSERT_TRUE(monitor->start([](const platform::KeyPress&) {}, &why));
  const DesktopServices& services = DesktopServices::shared();
  const QString waiting = QStringLiteral(
      "The desktop asks the user to add Ostrel's global shortcuts; waiting for the desktop's confirmation");
  ASSERT_TRUE(runEventLoopUntil([&] { return log.count(waiting) == 1; }, 60'000)) << log.lines().join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(services.awaitingConfirmation(DesktopService::Shortcuts));
  EXPECT_TRUE(services.state(DesktopService::Shortcuts).detail.endsWith(QLatin1String("waiting for the desktop's "
                                                                                      "confirmation")));
  // Changed while the dialog is open: nothing is asked until it is answered.
  monitor->watchShortcuts(shortcuts(15));
  const QString declined = QStringLiteral(
      "The desktop declined Ostrel's global shortcuts; Ostrel asks again when they change or at its next start");
  ASSERT_TRUE(runEventLoopUntil([&] { return log.count(declined) == 1; }, 60'000)) << log.lines().join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(portal.calls(QStringLiteral("BindShortcuts.Response")).size(), 1);
  EXPECT_EQ(log.count(waiting), 1);
  // Only now the changed shortcuts are proposed, in a question of their own.
  const QJsonObject second = portal.call(QStringLiteral("BindShortcuts"), 2);
  EXPECT_EQ(second[QStringLiteral("shortcuts")][0][1][QStringLiteral("preferred_trigger")], QStringLiteral("CTRL+R"));
  ASSERT_TRUE(runEventLoopUntil([&] { return log.count(declined) == 2; }, 60'000));
  EXPECT_EQ(services.binding(), ShortcutBinding::Declined);
  EXPECT_FALSE(services.awaitingConfirmation(DesktopService::Shortcuts));
  runEventLoopFor(1500);
  EXPECT_EQ(portal.calls(QStringLiteral("BindShortcuts")).size(), 2) << "a decline is not asked again by itself";
}

TEST(StandInPortal, AStartTheUserIsStillAnsweringIsWaitedForOnceAndThenTakesTheInput) {
  LogCapture log;
  StandInPortal portal({QStringLiteral("--start-delay"), QStringLiteral("2500")});
  QString why;
  auto injector = platform::createPortalInputInjector(QDBusConnection::sessionBus(), &why);
  ASSERT_TRUE(injector) << why.toStdString();
  injector->requestAccess();
  const QString waiting = QStringLiteral(
      "The desktop asks the user whether Ostrel may pass on the monitor's keys and pointer; waiting for the "
      "desktop's confirmation");
  ASSERT_TRUE(runEventLoopUntil([&] { return log.count(waiting) == 1; }, 60'000)) << log.lines().join(QLatin1Char('\n')).toStdString();
  const DesktopServices& services = DesktopServices::shared();
  EXPECT_TRUE(services.awaitingConfirmation(DesktopService::Input));
  EXPECT_FALSE(injector->tapKey(121)) << "input before the desktop's answer";
  injector->requestAccess();  // another monitor connects meanwhile: no second question
  ASSERT_TRUE(runEventLoopUntil([&] { return injector->tapKey(121); }, 60'000));
  EXPECT_FALSE(services.awaitingConfirmation(DesktopService::Input));
  EXPECT_EQ(portal.calls(QStringLiteral("Start")).size(), 1);
  EXPECT_EQ(log.count(waiting), 1);
}

}  // namespace
}  // namespace ostrel::test
