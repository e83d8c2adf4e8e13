// System-wide hotkeys on the test's Xvfb, pressed with xdotool while a window of
// another client (the test's own) has the focus.
#include "DesktopDriver.h"
#include "XTestClient.h"
#include "common/Log.h"
#include "platform/x11/X11Platform.h"

#include <gtest/gtest.h>
#include <vector>

namespace ostrel::platform {
namespace {

using testing::xdotool;

constexpr std::uint32_t kSignature = 0x4B697653;  // 'KivS'
constexpr std::uint32_t kControl = 0x1000;
constexpr std::uint32_t kShift = 0x0200;
constexpr std::uint32_t kOption = 0x0800;
constexpr std::uint32_t kCommand = 0x0100;
constexpr std::uint32_t kVkD = 2;
constexpr std::uint32_t kVkU = 32;
constexpr std::uint32_t kVkF12 = 111;
constexpr std::uint8_t kKeycodeD = 40;
constexpr std::uint16_t kXControl = 0x04;
constexpr std::uint16_t kXLock = 0x02;
constexpr std::uint16_t kXNumLock = 0x10;
constexpr std::uint32_t kMarkerId = 999;

class X11HotKeyServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::switchLocksOff(client);
    client.focus();
    QString why;
    service = createX11HotKeyService(&why);
    ASSERT_TRUE(service) << why.toStdString();
    service->setPressedHandler([this](HotKeyId id) {
      EXPECT_EQ(id.signature, kSignature);
      pressed.push_back(id.identifier);
    });
    // Control+F12 closes every exchange: its press travels on the service's
    // connection behind everything typed before it.
    ASSERT_TRUE(service->registerHotKey(kVkF12, kControl, {kSignature, kMarkerId}));
  }
  void TearDown() override { testing::switchLocksOff(client); }

  // Types the xdotool key arguments, and returns the hotkeys pressed meanwhile.
  std::vector<std::uint32_t> type(const QStringList& keys) {
    pressed.clear();
    client.poll();
    client.clear();
    for (const QString& k : keys) EXPECT_TRUE(xdotool({QStringLiteral("key"), k})) << k.toStdString();
    return finish();
  }

  // Types the marker and returns the hotkeys pressed before it.
  std::vector<std::uint32_t> finish() {
    EXPECT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+F12")}));
    EXPECT_TRUE(testing::waitFor([&] { return !pressed.empty() && pressed.back() == kMarkerId; }, client))
        << "the marker hotkey never arrived";
    if (!pressed.empty()) pressed.pop_back();
    return pressed;
  }

  int keyPressesOfDAtTheWindow() {
    client.poll();
    int count = 0;
    for (const auto& e : client.keyEvents()) count += (e.type == XCB_KEY_PRESS && e.keysym == 'd');
    return count;
  }

  testing::XTestClient client;
  std::unique_ptr<HotKeyService> service;
  std::vector<std::uint32_t> pressed;
};

using Ids = std::vector<std::uint32_t>;

TEST_F(X11HotKeyServiceTest, ARegisteredCombinationRunsOncePerPressAndIsTakenFromTheWindow) {
  ASSERT_TRUE(service->registerHotKey(kVkD, kControl, {kSignature, 1}));
  EXPECT_EQ(type({QStringLiteral("ctrl+d"), QStringLiteral("ctrl+d"), QStringLiteral("ctrl+d")}), (Ids{1, 1, 1}));
  EXPECT_EQ(keyPressesOfDAtTheWindow(), 0);
}

TEST_F(X11HotKeyServiceTest, LockKeysDoNotDefeatAHotKey) {
  ASSERT_TRUE(service->registerHotKey(kVkD, kControl, {kSignature, 1}));
  struct Case {
    const char* name;
    QStringList switchOn;
    std::uint16_t locked;
  };
  const Case cases[] = {
      {"no lock", {}, 0},
      {"Caps Lock", {QStringLiteral("Caps_Lock")}, kXLock},
      {"Num Lock", {QStringLiteral("Num_Lock")}, kXNumLock},
      {"both", {QStringLiteral("Caps_Lock"), QStringLiteral("Num_Lock")}, kXLock | kXNumLock},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::switchLocksOff(client);
    for (const QString& key : c.switchOn) EXPECT_TRUE(xdotool({QStringLiteral("key"), key}));
    ASSERT_EQ(client.lockedModifiers() & (kXLock | kXNumLock), c.locked);
    EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Ids{1}));
    EXPECT_EQ(keyPressesOfDAtTheWindow(), 0);
  }
}

TEST_F(X11HotKeyServiceTest, OtherCombinationsOfTheKeyReachTheWindow) {
  ASSERT_TRUE(service->registerHotKey(kVkD, kControl, {kSignature, 1}));
  EXPECT_EQ(type({QStringLiteral("d"), QStringLiteral("ctrl+shift+d"), QStringLiteral("alt+d"),
                  QStringLiteral("ctrl+alt+d")}),
            Ids{});
  EXPECT_EQ(keyPressesOfDAtTheWindow(), 4);
}

TEST_F(X11HotKeyServiceTest, TwoHotKeysAreToldApart) {
  ASSERT_TRUE(service->registerHotKey(kVkD, kControl, {kSignature, 1}));
  ASSERT_TRUE(service->registerHotKey(kVkU, kCommand | kOption, {kSignature, 2}));
  ASSERT_TRUE(service->registerHotKey(kVkD, kControl | kShift, {kSignature, 3}));
  EXPECT_EQ(type({QStringLiteral("ctrl+d"), QStringLiteral("super+alt+u"), QStringLiteral("ctrl+shift+d"),
                  QStringLiteral("ctrl+d")}),
            (Ids{1, 2, 3, 1}));
}

TEST_F(X11HotKeyServiceTest, UnregisterStopsDelivery) {
  const auto handle = service->registerHotKey(kVkD, kControl, {kSignature, 1});
  ASSERT_TRUE(handle);
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Ids{1}));
  service->unregisterHotKey(*handle);
  service->unregisterHotKey(*handle);  // unknown by now: ignored
  service->unregisterHotKey(123456);
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), Ids{});
  EXPECT_TRUE(testing::waitFor([&] { return keyPressesOfDAtTheWindow() == 1; }, client));
  EXPECT_TRUE(client.grabKey(kKeycodeD, kXControl)) << "the grab is gone";
  client.ungrabKey(kKeycodeD, kXControl);
}

TEST_F(X11HotKeyServiceTest, ACombinationAnotherClientHoldsIsRefusedAndTaken) {
  ASSERT_TRUE(client.grabKey(kKeycodeD, kXControl));
  EXPECT_FALSE(service->registerHotKey(kVkD, kControl, {kSignature, 1}));
  EXPECT_TRUE(service->isTakenBySystem(kVkD, kControl));
  EXPECT_FALSE(service->isTakenBySystem(kVkD, kControl | kShift));
  client.ungrabKey(kKeycodeD, kXControl);
  EXPECT_FALSE(service->isTakenBySystem(kVkD, kControl));
  ASSERT_TRUE(service->registerHotKey(kVkD, kControl, {kSignature, 2}));
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Ids{2}));
}

TEST_F(X11HotKeyServiceTest, ARefusedLockVariantReleasesTheVariantsAlreadyTaken) {
  struct Case {
    const char* name;
    std::uint16_t heldByOther;
  };
  const Case cases[] = {
      {"Caps Lock variant", kXControl | kXLock},
      {"Num Lock variant", kXControl | kXNumLock},
      {"both locks variant", kXControl | kXLock | kXNumLock},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(client.grabKey(kKeycodeD, c.heldByOther));
    EXPECT_FALSE(service->registerHotKey(kVkD, kControl, {kSignature, 1}));
    EXPECT_TRUE(service->isTakenBySystem(kVkD, kControl));
    client.ungrabKey(kKeycodeD, c.heldByOther);
    for (std::uint16_t variant : {kXControl, std::uint16_t(kXControl | kXLock), std::uint16_t(kXControl | kXNumLock),
                                  std::uint16_t(kXControl | kXLock | kXNumLock)}) {
      EXPECT_TRUE(client.grabKey(kKeycodeD, variant)) << "variant 0x" << std::hex << variant << " left grabbed";
      client.ungrabKey(kKeycodeD, variant);
    }
  }
}

TEST_F(X11HotKeyServiceTest, ProbingKeepsNothingAndSparesOwnHotKeys) {
  EXPECT_FALSE(service->isTakenBySystem(kVkD, kControl));
  EXPECT_TRUE(client.grabKey(kKeycodeD, kXControl)) << "the probe left a grab behind";
  client.ungrabKey(kKeycodeD, kXControl);
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), Ids{});
  EXPECT_EQ(keyPressesOfDAtTheWindow(), 1);

  ASSERT_TRUE(service->registerHotKey(kVkD, kControl, {kSignature, 1}));
  EXPECT_FALSE(service->isTakenBySystem(kVkD, kControl)) << "Ostrel's own hotkey is not the system's";
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Ids{1})) << "probing must not release it";
}

TEST_F(X11HotKeyServiceTest, TheSameCombinationTwiceGoesToTheNewestUntilBothAreGone) {
  const auto first = service->registerHotKey(kVkD, kControl, {kSignature, 1});
  const auto second = service->registerHotKey(kVkD, kControl, {kSignature, 2});
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Ids{2}));
  service->unregisterHotKey(*second);
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Ids{1}));
  service->unregisterHotKey(*first);
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), Ids{});
}

TEST_F(X11HotKeyServiceTest, UnusableKeysAndModifiersAreRefusedWithAReason) {
  struct Case {
    std::uint32_t virtualKeyCode;
    std::uint32_t modifiers;
    const char* logLine;
  };
  const Case cases[] = {
      {63, kControl, "X11 hotkeys: cannot register: virtual key code 63 has no key on this system"},
      {52, kControl, "X11 hotkeys: cannot register: virtual key code 52 has no key on this system"},
      {70000, kControl, "X11 hotkeys: cannot register: virtual key code 70000 has no key on this system"},
      {kVkD, kControl | 0x0400,
       "X11 hotkeys: cannot register: modifier bits 0x1400 include bits other than Command, Shift, Option and "
       "Control"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    EXPECT_FALSE(service->registerHotKey(c.virtualKeyCode, c.modifiers, {kSignature, 1}));
    EXPECT_EQ(log.lines(), QStringList{QString::fromUtf8(c.logLine)});
    EXPECT_FALSE(service->isTakenBySystem(c.virtualKeyCode, c.modifiers));
  }
  EXPECT_TRUE(client.grabKey(kKeycodeD, kXControl | kXLock)) << "nothing of the refused Control+Alpha-Lock+D was kept";
  client.ungrabKey(kKeycodeD, kXControl | kXLock);
}

TEST_F(X11HotKeyServiceTest, AHeldHotKeyRunsOnce) {
  ASSERT_TRUE(service->registerHotKey(kVkD, kControl, {kSignature, 1}));
  pressed.clear();
  ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl+d")}));
  testing::settle(client, std::chrono::milliseconds(1500));  // beyond the auto-repeat delay
  ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl+d")}));
  EXPECT_EQ(finish(), (Ids{1}));
}

TEST_F(X11HotKeyServiceTest, AHandlerMayUnregisterItsOwnHotKey) {
  const auto handle = service->registerHotKey(kVkD, kControl, {kSignature, 1});
  ASSERT_TRUE(handle);
  service->setPressedHandler([&](HotKeyId id) {
    pressed.push_back(id.identifier);
    if (id.identifier == 1) service->unregisterHotKey(*handle);
  });
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Ids{1}));
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), Ids{});
  EXPECT_EQ(keyPressesOfDAtTheWindow(), 1);
}

}  // namespace
}  // namespace ostrel::platform
