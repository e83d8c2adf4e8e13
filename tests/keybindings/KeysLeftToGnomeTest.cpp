// An X11 session of GNOME where Ostrel's shortcuts are also among GNOME's
// custom shortcuts: a press GNOME runs ostrelctl for is left to GNOME, every
// other reaches Ostrel, and taking the entry out gives the key back at once.
// The real X11 key monitor on the test's Xvfb, keys typed with xdotool, GNOME's
// settings through the real GSettings (keyfile backend).
#include "DesktopDriver.h"
#include "GnomeTestSettings.h"
#include "XTestClient.h"
#include "keybindings/KeysLeftToGnome.h"
#include "platform/KeyCodes.h"
#include "platform/gnome/GSettingsCustomShortcutStore.h"
#include "platform/x11/X11Platform.h"
#include "settings/ProgramValues.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>
#include <vector>

namespace ostrel {
namespace {

using namespace keys;
using ostrel::testing::xdotool;

TEST(KeysLeftToGnome, APressGnomeRunsActsOnceThroughGnome) {
  ASSERT_EQ(qEnvironmentVariable("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
  RefreshHotkeyKeyCode = kD;
  RefreshHotkeyModifierFlags = kControl;
  ThresholdInfoHotkeyKeyCode = kU;
  ThresholdInfoHotkeyModifierFlags = kControl;
  ThresholdDownInfoHotkeyKeyCode = kP;
  ThresholdDownInfoHotkeyModifierFlags = kControl;
  const QString ostrelctl = test::buildProgram(QStringLiteral("ostrelctl"));
  const QString refresh = test::kCustomFolder + QStringLiteral("ostrel-refresh/");
  const QString up = test::kCustomFolder + QStringLiteral("ostrel-contrast-up/");
  // Refresh is GNOME's; contrast up's entry is there but not in the list;
  // the user's own entry on Control+P runs something else.
  test::writeEntry(refresh, QStringLiteral("Ostrel: Fast Refresh"), ostrelctl + QStringLiteral(" refresh"),
                   QStringLiteral("<Primary>d"));
  test::writeEntry(up, QStringLiteral("Ostrel: Contrast Up"), ostrelctl + QStringLiteral(" contrast up"),
                   QStringLiteral("<Control>u"));
  test::writeEntry(test::kCustomFolder + QStringLiteral("custom0/"), QStringLiteral("Print"), QStringLiteral("lp"),
                   QStringLiteral("<Control>p"));
  test::setCustomPaths({refresh, test::kCustomFolder + QStringLiteral("custom0/")});

  QString why;
  auto store = platform::gnome::GSettingsCustomShortcutStore::create(&why);
  ASSERT_TRUE(store) << why.toStdString();
  platform::gnome::GSettingsCustomShortcutStore* settings = store.get();
  auto x11 = platform::createX11GlobalKeyMonitor(&why);
  ASSERT_TRUE(x11) << why.toStdString();
  KeysLeftToGnome monitor(std::move(x11), std::move(store), ostrelctl);
  std::vector<platform::KeyPress> presses;
  ASSERT_TRUE(monitor.start([&](const platform::KeyPress& p) { presses.push_back(p); }, &why)) << why.toStdString();
  testing::XTestClient client;
  testing::switchLocksOff(client);
  client.focus();

  const auto typed = [&](const QStringList& keys) {
    presses.clear();
    for (const QString& k : keys) EXPECT_TRUE(xdotool({QStringLiteral("key"), k}));
    // Escape closes the exchange: what came before it has been reported.
    EXPECT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    EXPECT_TRUE(testing::waitFor([&] { return !presses.empty() && presses.back().virtualKeyCode == kEscape; }, client));
    std::vector<std::uint16_t> codes;
    for (std::size_t i = 0; i + 1 < presses.size(); ++i) codes.push_back(presses[i].virtualKeyCode);
    return codes;
  };
  EXPECT_EQ(typed({QStringLiteral("ctrl+d"), QStringLiteral("ctrl+u"), QStringLiteral("ctrl+p"),
                   QStringLiteral("ctrl+shift+d")}),
            (std::vector<std::uint16_t>{kU, kP, kD}));

  // The user takes Ostrel's entry out of GNOME's list: the key is Ostrel's again.
  test::setCustomPaths({test::kCustomFolder + QStringLiteral("custom0/")});
  ASSERT_TRUE(testing::waitFor([&] { return settings->paths().size() == 1; }, client));
  EXPECT_EQ(typed({QStringLiteral("ctrl+d")}), std::vector<std::uint16_t>{kD});
  monitor.stop();
}

}  // namespace
}  // namespace ostrel
