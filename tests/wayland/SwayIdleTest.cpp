// Idle time from sway's ext_idle_notifier_v1 (sway 1.8 and later; Debian 13
// has 1.10): the session counts as idle once nothing was typed or pointed for
// the threshold, and input through Ostrel's own virtual keyboard and pointer
// brings it back. sway 1.7 (Debian 12) offers no such notifier, and the
// backend says so.
#include "SwayDesktop.h"
#include "WaylandDesktop.h"
#include "platform/KeyCodes.h"
#include "platform/wayland/WaylandPlatform.h"
#include "platform/wayland/WaylandVirtualInput.h"
#include "support/EventLoopWait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ostrel::test
