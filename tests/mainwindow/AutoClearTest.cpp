// "Auto Clear Ghost": fast refreshes on a timer of their own, checked at the
// simulated monitor, and frames that stay whole while the timer and the window
// write to the line at the same time.
#include "MainWindowHarness.h"
#include "common/Log.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <QSet>
#include <thread>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class AutoClearTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    resetProcessState();
    monitor = new SimulatedMonitor(16, uniqueMonitorName());
    QString error;
    ASSERT_TRUE(loadWithMonitor(*monitor, window, &error)) << error.toStdString();
  }
  static void TearDownTestSuite() {
    window.reset();
    delete monitor;
    resetProcessState();
  }
  void SetUp() override { ASSERT_TRUE(window) << "no window"; }
  void TearDown() override {
    if (window) (*window)->setAutoClearGhostDelay(0);
  }

  // Refresh frames that arrived from index `from` on, with their times.
  static std::vector<Clock::time_point> refreshesSince(std::size_t from) {
    std::vector<Clock::time_point> out;
    const std::vector<ReceivedFrame> all = monitor->frames();
    for (std::size_t i = from; i < all.size(); ++i) {
      if (all[i].text == commandFrame(3, 1)) out.push_back(all[i].at);
    }
    return out;
  }

  static qint64 ms(Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); }

  static inline SimulatedMonitor* monitor = nullptr;
  static inline std::unique_ptr<LoadedWindow> window;
};

TEST_F(AutoClearTest, ArmedAtOneSecondRefreshesAtOnceAndAboutEverySecond) {
  const std::size_t from = monitor->frameCount();
  const auto armed = Clock::now();
  (*window)->setAutoClearGhostDelay(1);
  runEventLoopFor(3600);
  (*window)->setAutoClearGhostDelay(0);
  const std::vector<Clock::time_point> refreshes = refreshesSince(from);
  ASSERT_GE(refreshes.size(), 3u);
  EXPECT_LE(refreshes.size(), 5u);
  EXPECT_LT(ms(refreshes[0] - armed), 400) << "the first refresh goes out when the timer is armed";
  for (std::size_t i = 1; i < refreshes.size(); ++i) {
    EXPECT_GE(ms(refreshes[i] - refreshes[i - 1]), 800) << i;
    EXPECT_LE(ms(refreshes[i] - refreshes[i - 1]), 1600) << i;
  }
}

TEST_F(AutoClearTest, ReArmingRefreshesAtOnceAndKeepsOneTimer) {
  (*window)->setAutoClearGhostDelay(1);
  runEventLoopFor(500);
  const std::size_t from = monitor->frameCount();
  const auto rearmed = Clock::now();
  (*window)->setAutoClearGhostDelay(1);
  runEventLoopFor(2600);
  (*window)->setAutoClearGhostDelay(0);
  const std::vector<Clock::time_point> refreshes = refreshesSince(from);
  ASSERT_FALSE(refreshes.empty());
  EXPECT_LT(ms(refreshes[0] - rearmed), 400);
  // One timer: a refresh about every second from the re-arming on, and none at
  // the moment the first timer would have fired (half a second in).
  EXPECT_EQ(refreshes.size(), 3u);
  for (std::size_t i = 1; i < refreshes.size(); ++i) EXPECT_GE(ms(refreshes[i] - refreshes[i - 1]), 800) << i;
}

TEST_F(AutoClearTest, ZeroStopsTheTimer) {
  (*window)->setAutoClearGhostDelay(1);
  runEventLoopFor(300);
  LogCapture log(false);
  (*window)->setAutoClearGhostDelay(0);
  const std::size_t from = monitor->frameCount();
  runEventLoopFor(2300);
  EXPECT_TRUE(refreshesSince(from).empty());
  EXPECT_EQ(log.lines(), (QStringList{QStringLiteral("setAutoClearGhostDelay delay = 0"),
                                      QStringLiteral("setAutoClearGhostDelay")}));
}

TEST_F(AutoClearTest, StoppingWhenNothingRunsOnlyLogsTheDelay) {
  LogCapture log(false);
  (*window)->setAutoClearGhostDelay(0);
  EXPECT_EQ(log.lines(), QStringList{QStringLiteral("setAutoClearGhostDelay delay = 0")});
}

TEST_F(AutoClearTest, ANegativePeriodArmsNothing) {
  LogCapture log(false);
  const std::size_t from = monitor->frameCount();
  (*window)->setAutoClearGhostDelay(-3);
  runEventLoopFor(1500);
  EXPECT_TRUE(refreshesSince(from).empty());
  EXPECT_TRUE(log.contains(QStringLiteral("setAutoClearGhostDelay refusing a negative period of -3 seconds")));
}

TEST_F(AutoClearTest, FramesStayWholeWhileTheTimerAndTheWindowSendTogether) {
  constexpr int kEach = 5000;
  LogDiscard quiet;
  const std::size_t from = monitor->frameCount();
  const std::size_t notesBefore = monitor->diagnosticCount();
  (*window)->setAutoClearGhostDelay(1);
  std::shared_ptr<ViewController> controller = window->controller();
  // The timer's own path, from a thread of its own, as fast as it goes...
  std::thread timerSide([controller] {
    for (int i = 0; i < kEach; ++i) controller->updateViewRefreshInfo(1);
  });
  // ...while the window sends contrast changes from the main thread.
  for (int i = 0; i < kEach; ++i) {
    (*window)->updateViewThresholdInfo(i % 9 + 1);
    if (i % 500 == 0) QCoreApplication::processEvents();
  }
  timerSide.join();
  (*window)->setAutoClearGhostDelay(0);

  ASSERT_TRUE(runEventLoopUntil([&] { return monitor->frameCount() >= from + 2 * kEach; }, 60000))
      << "frames at the monitor: " << monitor->frameCount() - from;
  runEventLoopFor(300);
  QSet<QByteArray> allowed{commandFrame(3, 1)};
  for (int t = 1; t <= 9; ++t) allowed.insert(commandFrame(1, t));
  int refreshes = 0, contrasts = 0;
  const std::vector<ReceivedFrame> frames = monitor->frames();
  for (std::size_t i = from; i < frames.size(); ++i) {
    ASSERT_TRUE(allowed.contains(frames[i].text)) << "torn frame " << frames[i].text.toStdString();
    (frames[i].text == commandFrame(3, 1) ? refreshes : contrasts)++;
  }
  EXPECT_EQ(contrasts, kEach);
  EXPECT_GE(refreshes, kEach + 1) << "the timer's own refreshes come on top";
  // The simulator names anything it could not read as a frame.
  const QStringList notes = monitor->diagnostics().mid(static_cast<qsizetype>(notesBefore));
  for (const QString& note : notes) {
    EXPECT_FALSE(note.contains(QStringLiteral("not a frame")) || note.contains(QStringLiteral("incomplete frame")))
        << note.toStdString();
  }
}

}  // namespace
}  // namespace ostrel::test
