// Key names after the X server's current layout, switched with setxkbmap the way
// a person (or a desktop's layout switcher) does.
#include "DesktopDriver.h"
#include "XTestClient.h"
#include "platform/x11/X11Platform.h"

#include <gtest/gtest.h>

namespace ostrel::platform {
namespace {

using testing::setxkbmap;

struct KeyText {
  std::uint16_t virtualKeyCode;
  const char* text;
};

class X11KeyboardLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(setxkbmap({QStringLiteral("us")}));
    QString why;
    layout = createX11KeyboardLayout(&why);
    ASSERT_TRUE(layout) << why.toStdString();
  }
  void TearDown() override {
    EXPECT_TRUE(setxkbmap({QStringLiteral("-layout"), QStringLiteral("us"), QStringLiteral("-option"), QString()}));
  }

  void expectTexts(const char* layoutName, std::initializer_list<KeyText> keys) {
    for (const KeyText& k : keys) {
      EXPECT_EQ(layout->unshiftedText(k.virtualKeyCode), QString::fromUtf8(k.text))
          << layoutName << ", virtual key code " << k.virtualKeyCode;
    }
  }

  std::unique_ptr<KeyboardLayout> layout;
};

TEST_F(X11KeyboardLayoutTest, FollowsTheLayoutSetAfterCreation) {
  expectTexts("us", {{0, "a"}, {6, "z"}, {16, "y"}, {12, "q"}, {18, "1"}, {41, ";"}, {50, "`"}, {49, " "}});
  ASSERT_TRUE(setxkbmap({QStringLiteral("de")}));
  expectTexts("de", {{0, "a"}, {6, "y"}, {16, "z"}, {41, "ö"}, {39, "ä"}, {27, "ß"}});
  ASSERT_TRUE(setxkbmap({QStringLiteral("fr")}));
  expectTexts("fr", {{0, "q"}, {12, "a"}, {13, "z"}, {6, "w"}, {46, ","}});
  ASSERT_TRUE(setxkbmap({QStringLiteral("us")}));
  expectTexts("us again", {{0, "a"}, {6, "z"}, {12, "q"}});
}

TEST_F(X11KeyboardLayoutTest, KeysThatProduceNoTextOrHaveNoKeyAreEmpty) {
  expectTexts("us", {{121, ""}, {116, ""}, {125, ""}, {122, ""}, {56, ""}, {59, ""}, {63, ""}, {52, ""}, {500, ""}});
}

TEST_F(X11KeyboardLayoutTest, FollowsTheCurrentGroupOfSeveralLayouts) {
  ASSERT_TRUE(setxkbmap({QStringLiteral("-layout"), QStringLiteral("us,de"), QStringLiteral("-option"),
                         QStringLiteral("grp:caps_toggle")}));
  expectTexts("us,de in group 1", {{6, "z"}, {16, "y"}});
  // Caps Lock now switches layouts. Pressed through the injector: xdotool puts
  // the group back after typing.
  QString why;
  const auto injector = createX11InputInjector(&why);
  ASSERT_TRUE(injector) << why.toStdString();
  ASSERT_TRUE(injector->tapKey(57));
  expectTexts("us,de in group 2", {{6, "y"}, {16, "z"}, {41, "ö"}});
  ASSERT_TRUE(injector->tapKey(57));
  expectTexts("us,de back in group 1", {{6, "z"}, {16, "y"}, {41, ";"}});
}

}  // namespace
}  // namespace ostrel::platform
