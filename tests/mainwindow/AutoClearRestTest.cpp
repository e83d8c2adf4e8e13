// "Pause while idle" inside the main window: the timer's thread hands a tick
// to the main thread only when it may rest, a tick handed over before the
// timer stopped or was re-armed sends nothing, and the monitor's own keys are
// someone at the monitor even when the X server (the test's Xvfb, asked through
// MIT-SCREEN-SAVER) saw no input at all: the window has no injector here, so
// nothing of the monitor's reaches the X server.
#include "MainWindowHarness.h"
#include "common/AutoClearStatus.h"
#include "common/Log.h"
#include "mainwindow/AutoClearRest.h"
#include "platform/x11/X11Platform.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <thread>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class AutoClearRestTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    resetProcessState();
    monitor = new SimulatedMonitor(16, uniqueMonitorName());
    QString error;
    ASSERT_TRUE(loadWithMonitor(*monitor, window, &error)) << error.toStdString();
    IdleSources sources;
    sources.idle = platform::createX11IdleMonitor(&error);
    ASSERT_TRUE(sources.idle) << error.toStdString();
    sources.idleBackend = QStringLiteral("x11");
    sources.whyNoLock = QStringLiteral("no lock in this test");
    (*window)->setIdleSources(std::move(sources));
    (*window)->autoClearRest().setShortestIdle(2s);
  }
  static void TearDownTestSuite() {
    window.reset();
    delete monitor;
    resetProcessState();
  }
  void SetUp() override {
    ASSERT_TRUE(window) << "no window";
    (*window)->setPauseWhileIdle(true);
  }
  void TearDown() override {
    if (window) (*window)->setAutoClearGhostDelay(0);
  }

  static int refreshesSince(std::size_t from) {
    int n = 0;
    const std::vector<ReceivedFrame> all = monitor->frames();
    for (std::size_t i = from; i < all.size(); ++i) n += all[i].text == commandFrame(3, 1) ? 1 : 0;
    return n;
  }

  static inline SimulatedMonitor* monitor = nullptr;
  static inline std::unique_ptr<LoadedWindow> window;
};

TEST_F(AutoClearRestTest, TheMonitorsOwnKeysAreSomeoneThereWhateverTheXServerSaw) {
  LogDiscard quiet;
  (*window)->setAutoClearGhostDelay(1);
  // Nobody has touched this X server: idle once 2 s have passed since it started.
  ASSERT_TRUE(runEventLoopUntil([] { return AutoClearStatus::shared().state().resting; }, 10000));
  EXPECT_EQ(AutoClearStatus::shared().state().reason, QStringLiteral("no keyboard or pointer input for 2 s"));
  std::size_t from = monitor->frameCount();
  runEventLoopFor(2500);
  EXPECT_EQ(refreshesSince(from), 0) << "resting";

  // Someone at the monitor presses its keys.
  from = monitor->frameCount();
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(monitor->command("key down"));
    runEventLoopFor(300);
  }
  EXPECT_GE(refreshesSince(from), 2);
  EXPECT_FALSE(AutoClearStatus::shared().state().resting);

  // Gone again: resting once the shortest idle time has passed.
  ASSERT_TRUE(runEventLoopUntil([] { return AutoClearStatus::shared().state().resting; }, 10000));
}

TEST_F(AutoClearRestTest, ATickHandedOverBeforeTheTimerStopsOrIsReArmedSendsNothing) {
  LogDiscard quiet;
  ASSERT_TRUE((*window)->autoClearRest().decidesOnMainThread() == false) << "the timer is off";
  std::size_t from = monitor->frameCount();
  // Each arming's first tick is handed to the main thread at once; the main
  // thread is still here when the timer is stopped.
  (*window)->setAutoClearGhostDelay(5);
  ASSERT_TRUE((*window)->autoClearRest().decidesOnMainThread());
  std::this_thread::sleep_for(100ms);
  (*window)->setAutoClearGhostDelay(0);
  runEventLoopFor(1200);
  EXPECT_EQ(refreshesSince(from), 0);

  // Re-armed before the first hand-over arrived: one refresh at once, not two.
  // The idle pause would make the new arming rest; a monitor key says someone
  // is there.
  ASSERT_TRUE(monitor->command("key down"));
  runEventLoopFor(500);
  from = monitor->frameCount();
  (*window)->setAutoClearGhostDelay(5);
  std::this_thread::sleep_for(100ms);
  (*window)->setAutoClearGhostDelay(5);
  runEventLoopFor(1500);
  EXPECT_EQ(refreshesSince(from), 1);
}

TEST_F(AutoClearRestTest, SwitchedOffTheTimerRefreshesFromItsOwnThreadWhileTheWindowIsBusy) {
  LogDiscard quiet;
  (*window)->setPauseWhileIdle(false);
  ASSERT_FALSE((*window)->autoClearRest().decidesOnMainThread());
  const std::size_t from = monitor->frameCount();
  const auto armed = Clock::now();
  (*window)->setAutoClearGhostDelay(1);
  // The main thread does not look at its events for 2.5 s.
  std::this_thread::sleep_for(2500ms);
  const auto busyUntil = Clock::now();
  int during = 0;
  const std::vector<ReceivedFrame> all = monitor->frames();
  for (std::size_t i = from; i < all.size(); ++i) {
    if (all[i].text == commandFrame(3, 1) && all[i].at >= armed && all[i].at <= busyUntil) ++during;
  }
  EXPECT_GE(during, 2);
  EXPECT_FALSE(AutoClearStatus::shared().state().resting);
}

}  // namespace
}  // namespace ostrel::test
