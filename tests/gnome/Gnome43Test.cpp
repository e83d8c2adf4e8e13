// Ostrel on Debian 12's own GNOME 43, headless: gnome-shell, the settings
// daemon's media keys and dconf on a bus of the test's own, with
// xdg-desktop-portal 1.16 and the machine's portal files, as a user of this
// machine has them (where xdg-desktop-portal-kde is installed it offers
// GlobalShortcuts in a GNOME session, which cannot work there). GNOME 43 has
// no GlobalShortcuts portal of its own: Ostrel's shortcuts go among GNOME's
// custom shortcuts, written by `ostrelctl gnome-shortcuts add` or the settings
// window's button; a key pressed through Mutter's remote-desktop interface
// runs ostrelctl and the simulated monitor receives the frame.
#include "GnomeDesktop.h"
#include "GnomeTestSettings.h"
#include "MutterKeyboard.h"
#include "app/PlatformServices.h"
#include "common/DesktopServices.h"
#include "platform/gnome/GnomePlatform.h"
#include "settings/ProgramValues.h"
#include "settings/window/DesktopKeybindingsPanel.h"
#include "settings/window/TestSecondView.h"
#include "support/ChildProcess.h"
#include "support/EventLoopWait.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"
#include "support/SkipPolicy.h"

#include <gtest/gtest.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

using namespace evdev;

const QString kMediaKeysPath = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/");
const QString kUsersOwn = kCustomFolder + QStringLiteral("custom0/");

struct CtlRun {
  int status = -1;
  QByteArray out;
};

CtlRun ostrelctl(const QStringList& arguments) {
  ChildProcess ctl;
  QString error;
  EXPECT_TRUE(ctl.start(buildProgram(QStringLiteral("ostrelctl")), arguments, &error)) << error.toStdString();
  const std::optional<ChildExit> exit = ctl.waitForExit(60s);
  ctl.waitForEndOfStreams(10s);
  CtlRun run;
  run.status = exit && exit->exited ? exit->status : -1;
  for (const StampedLine& l : ctl.lines(ChildStream::Output)) run.out += l.text + '\n';
  return run;
}

QJsonObject desktopStatus() {
  return QJsonDocument::fromJson(ostrelctl({QStringLiteral("status"), QStringLiteral("--json")}).out)
      .object()
      .value(QStringLiteral("desktop"))
      .toObject();
}

bool portalOffersGlobalShortcuts() {
  QDBusMessage get = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QStringLiteral("org.freedesktop.portal.GlobalShortcuts") << QStringLiteral("version");
  return QDBusConnection::sessionBus().call(get, QDBus::Block, 30'000).type() == QDBusMessage::ReplyMessage;
}

// A custom shortcut of the user's own, there before Ostrel.
void writeUsersOwn() {
  writeEntry(kUsersOwn, QStringLiteral("Terminal"), QStringLiteral("kgx"), QStringLiteral("<Super>t"));
  setCustomPaths({kUsersOwn});
}

class Gnome43 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing = missingGnome()) {
      if (everyTestMustRun()) FAIL() << *missing;
      GTEST_SKIP() << *missing;
    }
    // From 48 on GNOME's own portal serves the shortcuts: another test's.
    const QString version = platform::gnomeShellVersion(QDBusConnection::sessionBus()).value_or(QString());
    if (version.section(QLatin1Char('.'), 0, 0).toInt() >= 48) {
      GTEST_SKIP() << notForThisSystem("GNOME Shell " + version.toStdString() + " has a GlobalShortcuts portal of its own");
    }
    resetGnomeSettings();
  }
};

TEST_F(Gnome43, OstrelctlAddsTheThreeShortcutsAKeyRunsOneAndRemoveLeavesTheUsersListAsItWas) {
  writeUsersOwn();
  const QString before = dconfDump(kMediaKeysPath);
  SimulatedMonitor monitor(32, QStringLiteral("gnome-sim0"));
  QString error;
  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  OstrelProcess ostrel;
  ostrel.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), std::nullopt);  // Ostrel's own choice
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  ASSERT_TRUE(ostrel.waitForLogStartingWith("updateViewSpeedDisplay", 60s)) << ostrel.logText().toStdString();

  // The portal's GlobalShortcuts (where another desktop's backend offers it)
  // is not what serves Ostrel here.
  if (QFile::exists(QStringLiteral("/usr/share/xdg-desktop-portal/portals/kde.portal"))) {
    EXPECT_TRUE(portalOffersGlobalShortcuts()) << "the case this test is about: the KDE backend's GlobalShortcuts";
  }
  EXPECT_EQ(ostrel.countLogContaining("go through the desktop's GlobalShortcuts portal"), 0);
  QJsonObject desktop = desktopStatus();
  EXPECT_TRUE(desktop[QStringLiteral("shortcuts")][QStringLiteral("backend")].isNull());
  EXPECT_TRUE(
      desktop[QStringLiteral("shortcuts")][QStringLiteral("detail")].toString().startsWith(QStringLiteral("GNOME 43")))
      << desktop[QStringLiteral("shortcuts")][QStringLiteral("detail")].toString().toStdString();
  EXPECT_EQ(desktop[QStringLiteral("ownKeybindings")], QStringLiteral("gnome"));
  EXPECT_TRUE(desktop[QStringLiteral("shortcuts")][QStringLiteral("todo")].toString().startsWith(
      QStringLiteral("run `ostrelctl gnome-shortcuts add`")));

  const CtlRun added = ostrelctl({QStringLiteral("gnome-shortcuts"), QStringLiteral("add")});
  ASSERT_EQ(added.status, 0) << added.out.toStdString();
  const QStringList ours{kCustomFolder + QStringLiteral("ostrel-refresh/"),
                         kCustomFolder + QStringLiteral("ostrel-contrast-up/"),
                         kCustomFolder + QStringLiteral("ostrel-contrast-down/")};
  EXPECT_EQ(customPaths(), QStringList{kUsersOwn} + ours);
  EXPECT_EQ(entryValue(kUsersOwn, QStringLiteral("command")), QStringLiteral("kgx"));
  EXPECT_EQ(entryValue(ours[0], QStringLiteral("command")), buildProgram(QStringLiteral("ostrelctl")) + " refresh");
  // The running Ostrel sees GNOME's change.
  ASSERT_TRUE(ostrel.waitForLogStartingWith("Global shortcuts go through GNOME's custom shortcuts", 30s));
  desktop = desktopStatus();
  EXPECT_EQ(desktop[QStringLiteral("shortcuts")][QStringLiteral("backend")], QStringLiteral("gnome"));
  EXPECT_TRUE(desktop[QStringLiteral("shortcuts")][QStringLiteral("todo")].isNull());

  ASSERT_TRUE(waitForGrab(ours[2], 30s)) << "gsd-media-keys never grabbed Ostrel's keys";
  MutterKeyboard keyboard;
  ASSERT_TRUE(keyboard.start(&error)) << error.toStdString();
  // The refresh and the step up (the simulator starts at contrast 5).
  const std::vector<ShortcutPress> presses = controlDUPPresses();
  expectShortcutFrames(monitor, {presses[0], presses[1]}, [&](int key) { keyboard.press({kCtrl, key}); });

  EXPECT_EQ(ostrelctl({QStringLiteral("gnome-shortcuts"), QStringLiteral("remove")}).status, 0);
  EXPECT_EQ(customPaths(), QStringList{kUsersOwn});
  EXPECT_EQ(dconfDump(kMediaKeysPath), before);
  ostrel.stop();
}

// The application's own pieces in this process (a Wayland client of the
// headless shell): the backends PlatformServices chooses, the settings
// window and its button.
TEST_F(Gnome43, TheSettingsWindowsButtonAddsThemAndTheyComeOutAgain) {
  writeUsersOwn();
  const QString before = dconfDump(kMediaKeysPath);
  DesktopServices::shared().reset();
  PlatformServices platform;
  ASSERT_EQ(platform.kind(), SessionKind::Wayland);
  EXPECT_FALSE(platform.takeKeyMonitor()) << "no GlobalShortcuts portal serves on GNOME 43";
  DesktopServices& services = DesktopServices::shared();
  EXPECT_EQ(services.ownKeybindings(), QStringLiteral("gnome"));
  EXPECT_TRUE(services.state(DesktopService::Shortcuts).backend.isEmpty());

  CurrentLanguage = 1;
  QWidget parent;
  TestSecondView* settings = TestSecondView::presentFrom(&parent);
  DesktopKeybindingsPanel* panel = settings->desktopKeybindingsPanel();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(settings));
  ASSERT_TRUE(panel->gnomeSection()->isVisible());
  QTest::mouseClick(panel->gnomeAddButton(), Qt::LeftButton);
  EXPECT_EQ(customPaths(), (QStringList{kUsersOwn, kCustomFolder + QStringLiteral("ostrel-refresh/"),
                                        kCustomFolder + QStringLiteral("ostrel-contrast-up/"),
                                        kCustomFolder + QStringLiteral("ostrel-contrast-down/")}));
  EXPECT_EQ(entryValue(kCustomFolder + QStringLiteral("ostrel-contrast-down/"), QStringLiteral("binding")),
            QStringLiteral("<Control>p"));
  EXPECT_EQ(services.state(DesktopService::Shortcuts).backend, QStringLiteral("gnome"));
  EXPECT_EQ(panel->gnomeLines()->text(),
            QStringLiteral("Fast Refresh: Ctrl+D\nContrast Up: Ctrl+U\nContrast Down: Ctrl+P"));
  runEventLoopFor(100);
  const QString dir = qEnvironmentVariable("OSTREL_BUILD_DIR") + QStringLiteral("/screenshots");
  QDir().mkpath(dir);
  EXPECT_TRUE(settings->grab().save(dir + QStringLiteral("/gnome43-settings-english.png")));

  // Taken out in GNOME Settings (or by `ostrelctl`): the window follows.
  ASSERT_EQ(ostrelctl({QStringLiteral("gnome-shortcuts"), QStringLiteral("remove")}).status, 0);
  EXPECT_TRUE(runEventLoopUntil([&] { return services.state(DesktopService::Shortcuts).backend.isEmpty(); }, 30'000));
  EXPECT_EQ(panel->gnomeLines()->text().count(QStringLiteral("not in GNOME's shortcuts")), 3);
  EXPECT_EQ(customPaths(), QStringList{kUsersOwn});
  EXPECT_EQ(dconfDump(kMediaKeysPath), before);
  settings->reject();
}

}  // namespace
}  // namespace ostrel::test
