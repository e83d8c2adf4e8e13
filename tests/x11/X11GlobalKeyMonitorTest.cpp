// The global key monitor on the test's Xvfb: keys typed with xdotool while a
// window of another client has the focus.
#include "DesktopDriver.h"
#include "XTestClient.h"
#include "platform/KeyCodes.h"
#include "platform/x11/X11Platform.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <vector>

namespace ostrel::platform {

// Found by argument-dependent lookup, so outside the unnamed namespace.
bool operator==(const KeyPress& a, const KeyPress& b) {
  return a.virtualKeyCode == b.virtualKeyCode && a.modifierFlags == b.modifierFlags;
}

std::ostream& operator<<(std::ostream& out, const KeyPress& p) {
  return out << "{vk " << p.virtualKeyCode << ", flags 0x" << std::hex << p.modifierFlags << std::dec << "}";
}

namespace {

using testing::xdotool;

// Escape closes every exchange: once it is reported, every press typed before it
// has been reported too (one stream, in order).
bool isMarker(const KeyPress& press) {
  return press.virtualKeyCode == keys::kEscape;
}

class X11GlobalKeyMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::switchLocksOff(client);
    client.focus();
    QString why;
    monitor = createX11GlobalKeyMonitor(&why);
    ASSERT_TRUE(monitor) << why.toStdString();
    ASSERT_TRUE(monitor->start([this](const KeyPress& press) { presses.push_back(press); }, &why)) << why.toStdString();
  }
  void TearDown() override { testing::switchLocksOff(client); }

  // Types the xdotool key arguments followed by the marker, and returns what the
  // monitor reported before the marker.
  std::vector<KeyPress> type(const QStringList& keys) {
    presses.clear();
    for (const QString& k : keys) EXPECT_TRUE(xdotool({QStringLiteral("key"), k})) << k.toStdString();
    return finish();
  }

  // Types the marker and returns what was reported before it.
  std::vector<KeyPress> finish() {
    EXPECT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    EXPECT_TRUE(testing::waitFor([&] { return !presses.empty() && isMarker(presses.back()); }, client))
        << "the marker key never arrived";
    std::vector<KeyPress> before(presses.begin(), presses.end() - (presses.empty() ? 0 : 1));
    return before;
  }

  testing::XTestClient client;
  std::unique_ptr<GlobalKeyMonitor> monitor;
  std::vector<KeyPress> presses;
};

TEST_F(X11GlobalKeyMonitorTest, OnePressOneCallbackWithItsModifiers) {
  struct Case {
    const char* keys;
    KeyPress expected;
  };
  const Case cases[] = {
      {"ctrl+d", {keys::kD, keys::kControl}},
      {"ctrl+shift+d", {keys::kD, keys::kControl | keys::kShift}},
      {"alt+u", {keys::kU, keys::kOption}},
      {"super+p", {keys::kP, keys::kCommand}},
      {"ctrl+alt+shift+super+a", {keys::kA, keys::kShortcutModifierMask}},
      {"Next", {keys::kPageDown, 0}},
      {"F1", {122, 0}},
      {"shift+Up", {keys::kUpArrow, keys::kShift}},
  };
  for (const Case& c : cases) {
    const auto reported = type({QString::fromLatin1(c.keys)});
    EXPECT_EQ(reported, std::vector<KeyPress>{c.expected}) << c.keys;
  }
}

TEST_F(X11GlobalKeyMonitorTest, RepeatedPressesAreEachReportedOnce) {
  const auto reported = type({QStringLiteral("ctrl+d"), QStringLiteral("ctrl+d"), QStringLiteral("ctrl+d")});
  EXPECT_EQ(reported, std::vector<KeyPress>(3, KeyPress{keys::kD, keys::kControl}));
}

// The server auto-repeats a held key for the focused window; the monitor reports
// the physical press once.
TEST_F(X11GlobalKeyMonitorTest, AHeldKeyIsOnePress) {
  presses.clear();
  client.poll();
  client.clear();
  ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl+d")}));
  testing::settle(client, std::chrono::milliseconds(1500));  // beyond the auto-repeat delay
  ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl+d")}));
  int windowPresses = 0;
  for (const auto& e : client.keyEvents()) windowPresses += (e.type == XCB_KEY_PRESS && e.keysym == 'd');
  EXPECT_GT(windowPresses, 1) << "the window should have seen the repeats";
  EXPECT_EQ(finish(), (std::vector<KeyPress>{{keys::kD, keys::kControl}}));
}

TEST_F(X11GlobalKeyMonitorTest, CapsLockIsAFlagNumLockIsNot) {
  // Caps Lock itself is a modifier key: switching it on is not a press.
  EXPECT_EQ(type({QStringLiteral("Caps_Lock"), QStringLiteral("ctrl+d")}),
            (std::vector<KeyPress>{{keys::kD, keys::kControl | keys::kCapsLock}}));
  EXPECT_EQ(type({QStringLiteral("Caps_Lock"), QStringLiteral("ctrl+d")}),
            (std::vector<KeyPress>{{keys::kD, keys::kControl}}))
      << "Caps Lock off again";
  // The Num Lock key sits where the keypad's clear key is, and is reported as
  // that key; the Num Lock state is never a flag.
  EXPECT_EQ(type({QStringLiteral("Num_Lock"), QStringLiteral("ctrl+d")}),
            (std::vector<KeyPress>{{71, 0}, {keys::kD, keys::kControl}}));
  EXPECT_EQ(client.lockedModifiers() & 0x10, 0x10) << "Num Lock should be on now";
}

TEST_F(X11GlobalKeyMonitorTest, ModifiersAlonePointerAndButtonsReportNothing) {
  presses.clear();
  EXPECT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("shift"), QStringLiteral("ctrl"), QStringLiteral("alt"),
                       QStringLiteral("super")}));
  EXPECT_TRUE(xdotool({QStringLiteral("mousemove"), QStringLiteral("200"), QStringLiteral("200")}));
  EXPECT_TRUE(xdotool({QStringLiteral("mousemove"), QStringLiteral("350"), QStringLiteral("260")}));
  EXPECT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl"), QStringLiteral("mousemove"),
                       QStringLiteral("300"), QStringLiteral("300"), QStringLiteral("click"), QStringLiteral("1"),
                       QStringLiteral("keyup"), QStringLiteral("ctrl")}));
  EXPECT_TRUE(type({}).empty());
}

TEST_F(X11GlobalKeyMonitorTest, KeysWithoutAVirtualCodeAreNotReported) {
  // Scroll Lock and Pause have no virtual key code.
  EXPECT_TRUE(type({QStringLiteral("Scroll_Lock"), QStringLiteral("Scroll_Lock"), QStringLiteral("Pause")}).empty());
}

TEST_F(X11GlobalKeyMonitorTest, StopEndsDeliveryAndStartResumes) {
  monitor->stop();
  presses.clear();
  EXPECT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+d"), QStringLiteral("Escape")}));
  testing::settle(client, std::chrono::milliseconds(500));
  EXPECT_TRUE(presses.empty());

  QString why;
  ASSERT_TRUE(monitor->start([this](const KeyPress& press) { presses.push_back(press); }, &why)) << why.toStdString();
  EXPECT_EQ(type({QStringLiteral("ctrl+shift+d")}), (std::vector<KeyPress>{{keys::kD, keys::kControl | keys::kShift}}));
}

TEST_F(X11GlobalKeyMonitorTest, AHandlerMayDestroyTheMonitor) {
  int calls = 0;
  QString why;
  ASSERT_TRUE(monitor->start(
      [&](const KeyPress&) {
        ++calls;
        monitor.reset();
      },
      &why));
  EXPECT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
  EXPECT_TRUE(testing::waitFor([&] { return calls > 0; }, client));
  testing::settle(client, std::chrono::milliseconds(300));
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(monitor);
}

}  // namespace
}  // namespace ostrel::platform
