// Ostrel on a Wayland compositor without portals or virtual input devices
// (weston, as in a bare session): the window shows, each service it cannot
// have is said once, and `ostrelctl` still reaches the monitor through it.
#include "WaylandDesktop.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

TEST(OstrelOnWeston, ShowsItsWindowSaysOnceWhatIsUnavailableAndObeysOstrelctl) {
  if (const auto missing = missingDesktop()) GTEST_SKIP() << *missing;
  SimulatedMonitor monitor(16, QStringLiteral("weston-sim0"));
  QString error;
  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  OstrelProcess ostrel;
  ostrel.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), std::nullopt);  // Ostrel's own choice
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  ASSERT_TRUE(ostrel.waitForLog("updateMainViewContent ***************************************", 60s))
      << ostrel.logText().toStdString();
  ASSERT_TRUE(monitor.waitForFrame(commandFrame(10, 4), 60s)) << "no read-back";

  const QImage screen = westonScreenshot(&error);
  ASSERT_FALSE(screen.isNull()) << error.toStdString();
  EXPECT_TRUE(saveScreenshot(screen, QStringLiteral("wayland-weston-main-window")));
  EXPECT_GT(shareOf(screen, qRgb(255, 255, 255)), 0.02) << "Ostrel's window is not on the screen";

  EXPECT_EQ(ostrel.countLogContaining("Global shortcuts are unavailable: the desktop offers no GlobalShortcuts "
                                      "portal"),
            1)
      << ostrel.logText().toStdString();
  EXPECT_EQ(ostrel.countLogContaining("bind `ostrelctl refresh`, `ostrelctl contrast up` and `ostrelctl contrast "
                                      "down` in the desktop's own keyboard settings"),
            1);
  EXPECT_EQ(ostrel.countLogContaining("The monitor's keys and pointer can't be passed on: the desktop offers no "
                                      "RemoteDesktop portal"),
            1);
  // Nor the virtual keyboard and pointer of sway and its kin.
  EXPECT_EQ(ostrel.countLogContaining("; the Wayland compositor offers no zwp_virtual_keyboard_manager_v1"), 1);

  ChildProcess ctl;
  const std::size_t from = monitor.frameCount();
  ASSERT_TRUE(ctl.start(buildProgram(QStringLiteral("ostrelctl")), {QStringLiteral("refresh")}, &error));
  const std::optional<ChildExit> exit = ctl.waitForExit(60s);
  ASSERT_TRUE(exit && exit->exited);
  EXPECT_EQ(exit->status, 0);
  EXPECT_TRUE(monitor.waitForFrame(commandFrame(3, 1), 30s, from));
  ostrel.stop();
}

}  // namespace
}  // namespace ostrel::test
