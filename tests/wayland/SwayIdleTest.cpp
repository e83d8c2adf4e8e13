// Idle time from sway's ext_idle_notifier_v1 (sway 1.8 and later; Debian 13
// has 1.10): the session counts as idle once nothing was typed or pointed for
// the threshold, and input through Ostrel's own virtual keyboard and pointer
// brings it back; Ostrel's Auto Clear rests while it is idle. sway 1.7
// (Debian 12) offers no such notifier: the backend says so, and the timer
// runs as it always did.
#include "OstrelStatus.h"
#include "SwayDesktop.h"
#include "WaylandDesktop.h"
#include "platform/KeyCodes.h"
#include "platform/wayland/WaylandPlatform.h"
#include "platform/wayland/WaylandVirtualInput.h"
#include "support/EventLoopWait.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QJsonObject>
#include <thread>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;
using platform::wayland::WaylandVirtualInput;

TEST(IdleOnSway, IdleAfterTheThresholdAndBackWithOstrelsOwnInput) {
  if (const auto missing = missingDesktop()) GTEST_SKIP() << *missing;
  QString error;
  // Made first: a keyboard that appears is no input of its own.
  const std::unique_ptr<WaylandVirtualInput> input = WaylandVirtualInput::create(&error);
  ASSERT_TRUE(input) << error.toStdString();
  std::unique_ptr<platform::IdleMonitor> idle = platform::createWaylandIdleMonitor(&error);
  if (!compositorOffers(QStringLiteral("ext_idle_notifier_v1"))) {
    EXPECT_FALSE(idle);
    EXPECT_THAT(error.toStdString(), testing::HasSubstr("the Wayland compositor offers no ext_idle_notifier_v1"));
    return;
  }
  ASSERT_TRUE(idle) << error.toStdString();
  EXPECT_EQ(idle->describe(), QStringLiteral("ext_idle_notifier_v1 on the Wayland compositor"));
  EXPECT_EQ(idle->isIdle(), std::optional<bool>(false));
  int changes = 0;
  idle->setChangedHandler([&] { ++changes; });
  const auto idleAfter = [&](int expectedChanges) {
    return runEventLoopUntil([&] { return idle->isIdle() == std::optional<bool>(true) && changes == expectedChanges; },
                             15'000);
  };
  const auto backAfter = [&](int expectedChanges) {
    return runEventLoopUntil([&] { return idle->isIdle() == std::optional<bool>(false) && changes == expectedChanges; },
                             15'000);
  };

  idle->setIdleThreshold(1s);
  EXPECT_EQ(idle->isIdle(), std::optional<bool>(false));
  ASSERT_TRUE(idleAfter(1)) << "changes seen: " << changes;
  ASSERT_TRUE(input->tapKey(keys::kDownArrow));
  ASSERT_TRUE(backAfter(2)) << "a key through the virtual keyboard did not count as input";
  ASSERT_TRUE(idleAfter(3));
  ASSERT_TRUE(input->movePointerBy(1, 0));
  ASSERT_TRUE(backAfter(4)) << "a step of the virtual pointer did not count as input";

  // A new threshold counts afresh from now: not idle, however long it was.
  ASSERT_TRUE(idleAfter(5));
  idle->setIdleThreshold(2s);
  EXPECT_EQ(idle->isIdle(), std::optional<bool>(false));
  ASSERT_TRUE(backAfter(6));
  ASSERT_TRUE(idleAfter(7));
}

// What `ostrelctl status --json` says about Auto Clear.
QJsonObject autoClearStatus() {
  return statusJson().value(QStringLiteral("autoClear")).toObject();
}

// Refresh frames the simulator received between two moments.
int refreshesBetween(const SimulatedMonitor& monitor, MonotonicClock::time_point from, MonotonicClock::time_point to) {
  int n = 0;
  for (const ReceivedFrame& f : monitor.frames()) n += f.text == commandFrame(3, 1) && f.at >= from && f.at <= to;
  return n;
}

TEST(IdleOnSway, AutoClearRestsWhileTheCompositorSaysNobodyIsThereAndTheNextKeyWakesIt) {
  if (const auto missing = missingDesktop()) GTEST_SKIP() << *missing;
  // Every 2 s; idle after 3 s without input.
  ASSERT_TRUE(writePreferences({{QStringLiteral("autoClearCheckValue"), 1},
                                {QStringLiteral("autoClearValue"), 2},
                                {QStringLiteral("idlePauseSeconds"), 3}}));
  QString error;
  const std::unique_ptr<WaylandVirtualInput> person = WaylandVirtualInput::create(&error);
  ASSERT_TRUE(person) << error.toStdString();
  SimulatedMonitor monitor(16, QStringLiteral("sway-rest-sim0"));
  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  OstrelProcess ostrel;
  ostrel.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), std::nullopt);
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  ASSERT_TRUE(ostrel.waitForLogStartingWith("updateViewSpeedDisplay", 60s)) << ostrel.logText().toStdString();
  const bool notifier = compositorOffers(QStringLiteral("ext_idle_notifier_v1"));

  const auto typing = MonotonicClock::now();
  while (MonotonicClock::now() - typing < 6s) {
    ASSERT_TRUE(person->movePointerBy(1, 0));
    std::this_thread::sleep_for(400ms);
  }
  const auto lastInput = MonotonicClock::now();
  EXPECT_GE(refreshesBetween(monitor, typing, lastInput), 2) << "the refreshes stopped while someone worked";

  std::this_thread::sleep_for(8s);
  const QJsonObject status = autoClearStatus();
  const QJsonValue idleBackend = status.value(QStringLiteral("idle")).toObject().value(QStringLiteral("backend"));
  if (!notifier) {
    // Nothing tells Ostrel of idleness here: it refreshes as it always did.
    EXPECT_GE(refreshesBetween(monitor, lastInput + 4500ms, MonotonicClock::now()), 1);
    EXPECT_EQ(status.value(QStringLiteral("resting")), false);
    EXPECT_NE(idleBackend, QStringLiteral("wayland"));
    return;
  }
  EXPECT_EQ(idleBackend, QStringLiteral("wayland"));
  EXPECT_EQ(refreshesBetween(monitor, lastInput + 4500ms, MonotonicClock::now()), 0) << ostrel.logText().toStdString();
  EXPECT_EQ(status.value(QStringLiteral("resting")), true);

  // The pointer moves (a key could land in Ostrel's own focused window): the
  // next tick refreshes again.
  const std::size_t from = monitor.frameCount();
  ASSERT_TRUE(person->movePointerBy(1, 0));
  EXPECT_TRUE(monitor.waitForFrame(commandFrame(3, 1), 3s, from).has_value()) << ostrel.logText().toStdString();
  ostrel.stop();
}

}  // namespace
}  // namespace ostrel::test
