// Synthetic input through XTEST, observed by a window of the test's own on the
// test's Xvfb.
#include "DesktopDriver.h"
#include "XTestClient.h"
#include "common/Log.h"
#include "platform/x11/X11Platform.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <thread>

namespace ostrel::platform {
namespace {

using testing::ObservedEvent;
using testing::XTestClient;

class X11InputInjectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QString why;
    injector = createX11InputInjector(&why);
    ASSERT_TRUE(injector) << why.toStdString();
    client.focus();
    client.poll();
    client.clear();
  }

  XTestClient client;
  std::unique_ptr<InputInjector> injector;
};

TEST_F(X11InputInjectorTest, TappedKeysArriveAsPressAndRelease) {
  struct Case {
    const char* name;
    std::uint16_t virtualKeyCode;
    std::uint32_t keysym;
  };
  const Case cases[] = {
      {"Page Down", 121, 0xff56}, {"Page Up", 116, 0xff55}, {"Down", 125, 0xff54},
      {"Up", 126, 0xff52},        {"Delete", 51, 0xff08},   {"A", 0, 0x61},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    client.clear();
    ASSERT_TRUE(injector->tapKey(c.virtualKeyCode));
    ASSERT_TRUE(testing::waitFor([&] { return client.keyEvents().size() >= 2; }, client));
    testing::settle(client, std::chrono::milliseconds(100));
    const auto events = client.keyEvents();
    ASSERT_EQ(events.size(), 2u) << events.back().describe();
    EXPECT_EQ(events[0].type, XCB_KEY_PRESS);
    EXPECT_EQ(events[0].keysym, c.keysym) << events[0].describe();
    EXPECT_EQ(events[0].state & 0xFF, 0) << "no modifier held by the injector";
    EXPECT_EQ(events[1].type, XCB_KEY_RELEASE);
    EXPECT_EQ(events[1].detail, events[0].detail);
  }
}

TEST_F(X11InputInjectorTest, KeysWithoutAnXKeyAreRefusedAndPostNothing) {
  LogCapture log;
  for (std::uint16_t virtualKeyCode : {std::uint16_t{52}, std::uint16_t{63}, std::uint16_t{300}}) {
    EXPECT_FALSE(injector->tapKey(virtualKeyCode)) << virtualKeyCode;
    EXPECT_TRUE(
        log.contains(QStringLiteral("X11 input: virtual key code %1 has no key on this system").arg(virtualKeyCode)));
  }
  testing::settle(client);
  EXPECT_TRUE(client.keyEvents().empty());
}

TEST_F(X11InputInjectorTest, PointerMovesToAbsolutePositions) {
  struct Case {
    PointerPosition target;
    int x;
    int y;
  };
  const Case cases[] = {
      {{0, 0}, 0, 0}, {{640, 400}, 640, 400}, {{1279, 799}, 1279, 799}, {{17.6, 3.2}, 18, 3}, {{300, 250}, 300, 250},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(injector->movePointerTo(c.target));
    const auto seenByInjector = injector->pointerPosition();
    ASSERT_TRUE(seenByInjector.has_value());
    EXPECT_EQ(seenByInjector->x, c.x);
    EXPECT_EQ(seenByInjector->y, c.y);
    EXPECT_EQ(client.pointer(), std::make_pair(c.x, c.y)) << "as another client sees it";
  }
}

TEST_F(X11InputInjectorTest, UnrepresentablePositionsLeaveThePointerWhereItIs) {
  ASSERT_TRUE(injector->movePointerTo({200, 200}));
  LogCapture log;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const PointerPosition bad[] = {{nan, 10}, {10, inf}, {1e9, 10}, {10, -40000}};
  for (const PointerPosition& p : bad) {
    EXPECT_FALSE(injector->movePointerTo(p)) << p.x << "," << p.y;
    EXPECT_EQ(client.pointer(), std::make_pair(200, 200));
  }
  EXPECT_EQ(log.lines().size(), 4);
}

TEST_F(X11InputInjectorTest, ClicksArriveAsButtonPressAndRelease) {
  struct Case {
    MouseButton button;
    std::uint8_t x11Button;
  };
  const Case cases[] = {{MouseButton::Left, 1}, {MouseButton::Right, 3}, {MouseButton::Left, 1}};
  ASSERT_TRUE(injector->movePointerTo({double(client.centerX()), double(client.centerY())}));
  for (const Case& c : cases) {
    client.clear();
    ASSERT_TRUE(injector->clickButton(c.button));
    ASSERT_TRUE(testing::waitFor([&] { return client.events().size() >= 2; }, client));
    testing::settle(client, std::chrono::milliseconds(100));
    const auto& events = client.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, XCB_BUTTON_PRESS);
    EXPECT_EQ(events[0].detail, c.x11Button);
    EXPECT_EQ(events[1].type, XCB_BUTTON_RELEASE);
    EXPECT_EQ(events[1].detail, c.x11Button);
  }
  EXPECT_EQ(client.pointer(), std::make_pair(client.centerX(), client.centerY())) << "a click does not move";
}

// The auto-clear and long-move timers post from their own threads: every tap
// must still be one press directly followed by its own release.
TEST_F(X11InputInjectorTest, TapsFromSeveralThreadsStayPaired) {
  const std::uint16_t keys[] = {121, 116, 125, 126};
  constexpr int kTapsPerThread = 250;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (std::uint16_t key : keys) {
    threads.emplace_back([&, key] {
      for (int i = 0; i < kTapsPerThread; ++i) {
        if (!injector->tapKey(key)) ++failures;
        if (i % 5 == 0) (void)injector->pointerPosition();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  const std::size_t expected = 2 * kTapsPerThread * std::size(keys);
  ASSERT_TRUE(testing::waitFor([&] { return client.keyEvents().size() >= expected; }, client));
  const auto events = client.keyEvents();
  ASSERT_EQ(events.size(), expected);
  for (std::size_t i = 0; i + 1 < events.size(); i += 2) {
    ASSERT_EQ(events[i].type, XCB_KEY_PRESS) << i;
    ASSERT_EQ(events[i + 1].type, XCB_KEY_RELEASE) << i;
    ASSERT_EQ(events[i].detail, events[i + 1].detail) << "press and release split at " << i;
  }
}

}  // namespace
}  // namespace ostrel::platform
