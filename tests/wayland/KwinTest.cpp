// Ostrel on a headless KWin with the real portals (xdg-desktop-portal and its
// KDE backend): the global shortcuts bound through the GlobalShortcuts portal
// and pressed as the user would, through the compositor's own input path; the
// monitor's keys and pointer passed on through the RemoteDesktop portal to a
// window of the test's own, which has the focus; the simulated monitor on a
// pseudo-terminal. The test process is itself a Wayland client of that KWin.
//
// Plasma 5.27 (Debian 12) starts a RemoteDesktop session without a dialog.
// Plasma 6 asks the user once; these tests pre-authorise Ostrel and their own
// keyboard the way Plasma's application permissions settings do, and the
// RemoteDesktop portal's version 2 hands out a restore token, with which a
// second start asks nothing even without that authorisation.
#include "FocusProbe.h"
#include "MainWindowHarness.h"
#include "MonitorInputScript.h"
#include "OstrelStatus.h"
#include "PermissionStore.h"
#include "PortalKeyboard.h"
#include "WaylandDesktop.h"
#include "app/AppDelegate.h"
#include "app/PlatformServices.h"
#include "common/DesktopServices.h"
#include "mainwindow/MonitorInputInjection.h"
#include "platform/portal/PortalPlatform.h"
#include "settings/window/DesktopShortcutNotes.h"
#include "settings/window/TestSecondView.h"
#include "shortcuts/KivShortcut.h"
#include "shortcuts/view/KivShortcutView.h"
#include "support/EventLoopWait.h"
#include "support/OstrelProcess.h"

#include <gtest/gtest.h>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QJsonArray>
#include <cstdio>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QWidget>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

using namespace evdev;

const QString kOstrelId = QStringLiteral("VELDOR.Ostrel");

// The test process is Ostrel too (PortalsInProcess), and main() gives the
// portal Ostrel's application id before anything else: portals that know
// applications by it (1.19.4 on) then keep one set of keys for both, as for
// one Ostrel started twice.
class OstrelApplicationId : public ::testing::Environment {
 public:
  void SetUp() override {
    QGuiApplication::setDesktopFileName(kOstrelId);
    platform::registerWithPortal(QDBusConnection::sessionBus(), kOstrelId);
  }
};
[[maybe_unused]] const auto* const applicationId = ::testing::AddGlobalTestEnvironment(new OstrelApplicationId);

// Ostrel and the test's own keyboard may use the RemoteDesktop portal without
// a dialog (both by Ostrel's application id; "" stands for programs without
// one, which the portal gives them where it has no registry); Plasma 5.27
// asks no one anyway.
void authorizeInput() {
  QString error;
  for (const QString& app : {kOstrelId, QString()}) {
    EXPECT_TRUE(authorizeRemoteDesktopOnPlasma(app, &error)) << error.toStdString();
  }
}

TEST(OstrelOnKwin, DrawsThroughWaylandAndItsShortcutsFireWhileAnotherWindowHasTheFocus) {
  if (const auto missing = missingDesktop()) {
    if (requireAllTests()) FAIL() << *missing;
    GTEST_SKIP() << *missing;
  }
  authorizeInput();
  ASSERT_TRUE(writePreferences(englishControlDUP()));
  SimulatedMonitor monitor(16, QStringLiteral("kwin-sim0"));
  QString error;
  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  OstrelProcess ostrel;
  ostrel.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), std::nullopt);  // Ostrel's own choice
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  for (const char* line : {"The desktop bound Ostrel's global shortcuts", "The desktop takes the monitor's keys",
                           "updateViewSpeedDisplay"}) {
    ASSERT_TRUE(ostrel.waitForLogStartingWith(line, 60s)) << ostrel.logText().toStdString();
  }

  // No X server runs here: the window that shows is a Wayland one.
  const QImage screen = kwinScreenshot(&error);
  if (screen.isNull() && portalVersion(QStringLiteral("org.freedesktop.portal.RemoteDesktop")) >= 2 &&
      error.contains(QLatin1String("org.kde.KWin.ScreenShot2"))) {
    // KWin 6's screenshot effect needs OpenGL; a headless KWin without a GPU
    // composites with QPainter.
    std::printf("no screenshot of Plasma 6 here: %s\n", qPrintable(error));
  } else {
    ASSERT_FALSE(screen.isNull()) << error.toStdString();
    EXPECT_TRUE(saveScreenshot(screen, QStringLiteral("wayland-kwin-main-window")));
    EXPECT_GT(shareOf(screen, qRgb(255, 255, 255)), 0.02) << "Ostrel's window is not on the screen";
  }

  const QJsonObject desktop = statusJson().value(QStringLiteral("desktop")).toObject();
  QStringList assigned;
  for (const QJsonValue& key : desktop[QStringLiteral("shortcuts")][QStringLiteral("keys")].toArray())
    assigned << key[QStringLiteral("id")].toString() + QLatin1Char('=') + key[QStringLiteral("assigned")].toString();
  EXPECT_EQ(assigned.join(QLatin1Char(' ')), QStringLiteral("refresh=Ctrl+D contrast-up=Ctrl+U contrast-down=Ctrl+P"));
  EXPECT_EQ(desktop[QStringLiteral("input")][QStringLiteral("backend")].toString(), QStringLiteral("portal"));

  FocusProbe probe;
  ASSERT_TRUE(probe.focus());
  PortalKeyboard keyboard;
  ASSERT_TRUE(keyboard.start(&error)) << error.toStdString();
  expectShortcutFrames(monitor, controlDUPPresses(), [&](int key) { keyboard.press({kCtrl, key}); });
  for (int key : {Qt::Key_D, Qt::Key_U, Qt::Key_P})
    EXPECT_EQ(probe.count(QEvent::KeyPress, key), 0u) << "a shortcut's key also reached the focused window";
  ASSERT_TRUE(monitor.command("key pagedown"));
  EXPECT_TRUE(runEventLoopUntil([&] { return probe.count(QEvent::KeyRelease, Qt::Key_PageDown) == 1; }, 30'000));
  ostrel.stop();

  if (portalVersion(QStringLiteral("org.freedesktop.portal.RemoteDesktop")) < 2) return;
  // Plasma 6: without the authorisation, the token of the first start stands
  // for the user's answer, and a second start asks nothing. (Plasma's dialog
  // cannot even open here, its QML module being plasma-workspace's: a start
  // that needed it would be declined at once.)
  ASSERT_TRUE(revokeRemoteDesktopOnPlasma(kOstrelId, &error)) << error.toStdString();
  OstrelProcess second;
  second.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), std::nullopt);
  ASSERT_TRUE(second.start(&error)) << error.toStdString();
  for (const char* line : {"The desktop takes the monitor's keys", "updateViewSpeedDisplay"}) {
    ASSERT_TRUE(second.waitForLogStartingWith(line, 60s)) << second.logText().toStdString();
  }
  EXPECT_EQ(second.countLogContaining("declined"), 0);
  // Ostrel's new window took the focus; the probe takes it back.
  probe.hide();
  ASSERT_TRUE(probe.focus());
  ASSERT_TRUE(monitor.command("key pagedown"));
  EXPECT_TRUE(runEventLoopUntil([&] { return probe.count(QEvent::KeyRelease, Qt::Key_PageDown) == 2; }, 30'000))
      << second.logText().toStdString();
  second.stop();
  authorizeInput();
}

// The application's own pieces in this process, as main() puts them together:
// the backends PlatformServices chooses, the main window with a simulated
// monitor, the application shell, the settings window.
class PortalsInProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (missingDesktop()) return;
    authorizeInput();
    resetProcessState();
    DesktopServices::shared().reset();
    ASSERT_TRUE(writePreferences(englishControlDUP()));
    platform = new PlatformServices;
    ASSERT_EQ(platform->kind(), SessionKind::Wayland);
    ASSERT_TRUE(platform->injector()) << platform->whyNoInjector().toStdString();
    monitor = new SimulatedMonitor(48, uniqueMonitorName());
    QString error;
    ASSERT_TRUE(loadWithMonitor(*monitor, window, &error, platform->injector())) << error.toStdString();
    shell = new AppDelegate((*window)->window(), platform->takeKeyMonitor(), platform->whyNoKeyMonitor());
    shell->applicationDidFinishLaunching();
    ASSERT_TRUE(
        runEventLoopUntil([] { return DesktopServices::shared().binding() == ShortcutBinding::Bound; }, 60'000));
    ASSERT_TRUE(runEventLoopUntil(
        [] { return DesktopServices::shared().state(DesktopService::Input).detail.endsWith(QLatin1String("pointer")); },
        60'000))
        << DesktopServices::shared().state(DesktopService::Input).detail.toStdString();
    probe = new FocusProbe;
    keyboard = new PortalKeyboard;
    ASSERT_TRUE(keyboard->start(&error)) << error.toStdString();
  }
  static void TearDownTestSuite() {
    delete keyboard;
    delete probe;
    delete shell;
    window.reset();
    delete monitor;
    delete platform;
    DesktopServices::shared().reset();
  }
  void SetUp() override {
    if (const auto missing = missingDesktop()) {
      if (requireAllTests()) FAIL() << *missing;
      GTEST_SKIP() << *missing;
    }
    ASSERT_TRUE(window && probe);
    ASSERT_TRUE(probe->focus());
  }

  // A console line for the simulator, then the event loop until `done`.
  static bool monitorSends(const QByteArray& line, const std::function<bool()>& done) {
    return monitor->command(line) && runEventLoopUntil(done, 30'000);
  }

  static inline PlatformServices* platform = nullptr;
  static inline SimulatedMonitor* monitor = nullptr;
  static inline std::unique_ptr<LoadedWindow> window;
  static inline AppDelegate* shell = nullptr;
  static inline FocusProbe* probe = nullptr;
  static inline PortalKeyboard* keyboard = nullptr;
};

TEST_F(PortalsInProcess, AChangedShortcutShowsTheKeyTheDesktopAssignedAndThatKeyFires) {
  TestSecondView* settings = TestSecondView::presentFrom((*window)->window());
  settings->refreshHotCutView()->setShortcutValue(KivShortcut::shortcutWithKeyCode(15, 0x40000 | 0x20000));
  settings->buttonOK()->click();
  // A new session asks for Control+Shift+R; KDE keeps the key it gave before.
  ASSERT_TRUE(runEventLoopUntil(
      [] {
        const DesktopServices& d = DesktopServices::shared();
        return d.binding() == ShortcutBinding::Bound &&
               d.assignment(DesktopShortcutRefresh).preferred == QLatin1String("CTRL+SHIFT+R");
      },
      60'000));
  const QString assigned = DesktopServices::shared().assignment(DesktopShortcutRefresh).assigned;
  EXPECT_EQ(assigned, QStringLiteral("Ctrl+D"));

  settings = TestSecondView::presentFrom((*window)->window());
  const QStringList note = settings->desktopShortcutNotes()->text().split(QLatin1Char('\n'));
  ASSERT_TRUE(settings->desktopShortcutNotes()->isVisibleTo(settings));
  EXPECT_EQ(note.value(0), QStringLiteral("Fast Refresh: the desktop assigned %1; change it in the desktop's keyboard "
                                          "settings")
                               .arg(assigned));
  EXPECT_EQ(note.value(1), QStringLiteral("Contrast Up: Ctrl+U, assigned by the desktop"));
  settings->buttonExit()->click();

  ASSERT_TRUE(probe->focus());
  const std::size_t from = monitor->frameCount();
  keyboard->press({kCtrl, kD});
  EXPECT_TRUE(waitForFrameWhileRunning(*monitor, commandFrame(3, 1), from));
}

TEST_F(PortalsInProcess, TheMonitorsKeysPointerAndClicksReachTheFocusedWindow) {
  expectKeysStepsAndClicks(*probe, monitorSends, {"move right"});
}

TEST_F(PortalsInProcess, ALongMoveKeepsMovingUntilItStops) {
  expectLongMoveUntilItStops(*probe, monitorSends, (*window)->monitorInput(), "move left");
}

}  // namespace
}  // namespace ostrel::test
