// The shortcut layer on a real X server (the test's own Xvfb): key names after
// the layout set with setxkbmap, the validator's letter and system checks, and
// hotkeys registered through the monitor and the binder, pressed with xdotool
// while a window of another client has the focus.
#include "shortcuts/KivHotKey.h"
#include "shortcuts/KivLocalizedString.h"
#include "shortcuts/KivMenuSnapshot.h"
#include "shortcuts/KivShortcut.h"
#include "shortcuts/KivShortcutBinder.h"
#include "shortcuts/KivShortcutMonitor.h"
#include "shortcuts/KivShortcutValidator.h"
#include "shortcuts/KivStringTable.h"

#include "DesktopDriver.h"
#include "SettingsTestFiles.h"
#include "XTestClient.h"
#include "common/MainThread.h"
#include "platform/x11/X11Platform.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"

#include <gtest/gtest.h>

namespace {

using ostrel::KivShortcut;
using ostrel::KivShortcutMonitor;
namespace desktop = ostrel::testing;

constexpr quint64 kShift = 0x20000;
constexpr quint64 kControl = 0x40000;
constexpr quint64 kCommand = 0x100000;
constexpr quint64 kVkA = 0, kVkD = 2, kVkZ = 6, kVkQ = 12, kVkY = 16, kVkU = 32, kVkP = 35;
constexpr quint64 kVkSemicolon = 41, kVkGrave = 50, kVkShift = 56, kVkF20 = 90, kVkF12 = 111;
constexpr std::uint16_t kXControl = 0x04;

bool typeKeys(const QString& keys) {
  return desktop::xdotool({QStringLiteral("key"), keys});
}

class KivKeyNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(desktop::setxkbmap({QStringLiteral("us")}));
    QString why;
    std::shared_ptr<ostrel::platform::KeyboardLayout> layout = ostrel::platform::createX11KeyboardLayout(&why);
    ASSERT_TRUE(layout) << why.toStdString();
    KivShortcut::setKeyboardLayout(layout);
    ostrel::KivStringTable::setProcessTable(ostrel::KivStringTable::shipped(ostrel::KivStringTable::Language::English));
  }
  void TearDown() override {
    KivShortcut::setKeyboardLayout(nullptr);
    EXPECT_TRUE(desktop::setxkbmap({QStringLiteral("us")}));
  }
};

TEST_F(KivKeyNamesTest, NamesFollowTheLayoutCurrentWhenAsked) {
  struct Case {
    quint64 keyCode;
    QString us;
    QString de;
  };
  const Case cases[] = {
      {kVkA, "A", "A"},
      {kVkZ, "Z", "Y"},
      {kVkY, "Y", "Z"},
      {kVkQ, "Q", "Q"},
      {18, "1", "1"},
      {kVkSemicolon, ";", "Ö"},
      {kVkGrave, "`", ""},  // a dead key on the German layout: no
                            // printable text
      {27, "-", "SS"},      // ß upper-cases to two letters
      {49, "Space", "Space"},
      {kVkShift, "", ""},
      {kVkF20, "", ""},
      {36, "↩", "↩"},
  };
  // One shortcut, asked twice: the name is not fixed when it is recorded.
  const KivShortcut controlZ(kVkZ, kControl);
  for (const Case& c : cases) EXPECT_EQ(KivShortcut(c.keyCode, 0).keyCodeString(), c.us) << "us " << c.keyCode;
  EXPECT_EQ(controlZ.description(), QStringLiteral("⌃Z"));
  EXPECT_EQ(controlZ.keyCodeStringForKeyEquivalent(), QStringLiteral("z"));

  ASSERT_TRUE(desktop::setxkbmap({QStringLiteral("de")}));
  for (const Case& c : cases) EXPECT_EQ(KivShortcut(c.keyCode, 0).keyCodeString(), c.de) << "de " << c.keyCode;
  EXPECT_EQ(controlZ.description(), QStringLiteral("⌃Y"));
  EXPECT_EQ(KivShortcut(27, 0).keyCodeStringForKeyEquivalent(), QString()) << "a two-letter name has no menu form";
}

TEST_F(KivKeyNamesTest, MenuLetterCasesFollowTheLayout) {
  using ostrel::KivMenuItem;
  const auto menu = std::make_shared<const ostrel::KivMenuSnapshot>(std::vector<KivMenuItem>{
      {QStringLiteral("Quit"), QStringLiteral("q"), kCommand, nullptr},
      {QStringLiteral("Quit All"), QStringLiteral("Q"), kCommand, nullptr},
  });
  struct Case {
    const char* label;
    KivShortcut shortcut;
    QString takenBy;
  };
  const Case cases[] = {
      {"lower-case q with Command", KivShortcut(kVkQ, kCommand), QStringLiteral("Quit")},
      {"upper-case Q implies Shift", KivShortcut(kVkQ, kCommand | kShift), QStringLiteral("Quit All")},
      {"Control+Q is free", KivShortcut(kVkQ, kControl), QString()},
      {"another letter is free", KivShortcut(kVkA, kCommand), QString()},
  };
  ostrel::KivShortcutValidator validator;
  ostrel::CurrentLanguage = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    QString explanation;
    EXPECT_EQ(validator.isShortcutAlreadyTakenInMenu(c.shortcut, menu.get(), &explanation), !c.takenBy.isEmpty());
    if (!c.takenBy.isEmpty()) {
      EXPECT_TRUE(explanation.contains(QStringLiteral("‘") + c.takenBy + QStringLiteral("’")));
    }
  }
  // On a French layout the key named Q is another key code.
  ASSERT_TRUE(desktop::setxkbmap({QStringLiteral("fr")}));
  EXPECT_FALSE(validator.isShortcutAlreadyTakenInMenu(KivShortcut(kVkQ, kCommand), menu.get(), nullptr));
  EXPECT_TRUE(validator.isShortcutAlreadyTakenInMenu(KivShortcut(kVkA, kCommand), menu.get(), nullptr));
  ostrel::CurrentLanguage = 0;
}

// Hotkeys through the monitor. Control+F12 is the marker that closes every
// exchange: its press arrives behind everything typed before it, and its action
// is queued behind theirs.
class KivHotKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    desktop::switchLocksOff(client);
    client.focus();
    QString why;
    service = ostrel::platform::createX11HotKeyService(&why);
    ASSERT_TRUE(service) << why.toStdString();
    monitor = KivShortcutMonitor::create(service);
    ASSERT_TRUE(monitor);
    ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkF12, kControl), [this] { ++markers; }));
  }

  // Types the keys and returns how often each action ran meanwhile.
  std::map<QString, int> type(const QStringList& keys) {
    runs.clear();
    for (const QString& k : keys) EXPECT_TRUE(typeKeys(k)) << k.toStdString();
    const int expected = markers + 1;
    EXPECT_TRUE(typeKeys(QStringLiteral("ctrl+F12")));
    EXPECT_TRUE(desktop::waitFor([&] { return markers == expected; }, client)) << "the marker never arrived";
    return runs;
  }
  std::function<void()> counting(const QString& name) {
    return [this, name] { ++runs[name]; };
  }

  desktop::XTestClient client;
  std::shared_ptr<ostrel::platform::HotKeyService> service;
  std::shared_ptr<KivShortcutMonitor> monitor;
  int markers = 0;
  std::map<QString, int> runs;
};

using Runs = std::map<QString, int>;

TEST_F(KivHotKeysTest, ARegisteredHotKeyRunsItsActionOncePerPressOnTheMainThread) {
  bool onMain = false;
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkD, kControl), [&] {
    onMain = ostrel::mainthread::isMainThread();
    ++runs[QStringLiteral("refresh")];
  }));
  EXPECT_TRUE(monitor->isShortcutRegistered(KivShortcut(kVkD, kControl)));
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Runs{{"refresh", 1}}));
  EXPECT_TRUE(onMain);
  EXPECT_EQ(type({QStringLiteral("ctrl+d"), QStringLiteral("ctrl+d")}), (Runs{{"refresh", 2}}));
  EXPECT_EQ(type({QStringLiteral("d"), QStringLiteral("ctrl+shift+d")}), Runs{}) << "other combinations run nothing";
}

TEST_F(KivHotKeysTest, LockKeysDoNotDefeatAHotKey) {
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkD, kControl), counting(QStringLiteral("refresh"))));
  // Num Lock on, then Caps Lock on as well: each press still runs the action once.
  EXPECT_EQ(type({QStringLiteral("Num_Lock"), QStringLiteral("ctrl+d")}), (Runs{{"refresh", 1}}));
  EXPECT_EQ(type({QStringLiteral("Caps_Lock"), QStringLiteral("ctrl+d")}), (Runs{{"refresh", 1}}));
  desktop::switchLocksOff(client);
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Runs{{"refresh", 1}}));
}

TEST_F(KivHotKeysTest, TwoHotKeysHaveDistinctIdentifiersAndActions) {
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkU, kControl), counting("up")));
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkP, kControl), counting("down")));
  EXPECT_EQ(type({QStringLiteral("ctrl+p")}), (Runs{{"down", 1}}));
  EXPECT_EQ(type({QStringLiteral("ctrl+u"), QStringLiteral("ctrl+p"), QStringLiteral("ctrl+u")}),
            (Runs{{"down", 1}, {"up", 2}}));

  const std::uint32_t before = ostrel::CarbonHotKeyID;
  const auto first = ostrel::KivHotKey::registeredHotKeyWithShortcut(KivShortcut(kVkA, kControl), service);
  ASSERT_TRUE(first);
  ASSERT_TRUE(client.grabKey(client.keycodeOfKeysym('z'), kXControl));
  EXPECT_EQ(ostrel::KivHotKey::registeredHotKeyWithShortcut(KivShortcut(kVkZ, kControl), service), nullptr);
  const auto third = ostrel::KivHotKey::registeredHotKeyWithShortcut(KivShortcut(kVkA, kShift | kControl), service);
  ASSERT_TRUE(third);
  EXPECT_EQ(first->carbonID(), before + 1);
  EXPECT_EQ(third->carbonID(), before + 3) << "the refused registration used up an identifier";
  EXPECT_EQ(ostrel::KivHotKey::registeredHotKeyWithShortcut(KivShortcut(KivShortcut::kNoKeyCode, kControl), service),
            nullptr)
      << "no key is never registered";
}

TEST_F(KivHotKeysTest, UnregisteringStopsDelivery) {
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkU, kControl), counting("up")));
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkP, kControl), counting("down")));
  monitor->unregisterShortcut(KivShortcut(kVkU, kControl));
  monitor->unregisterShortcut(std::nullopt);
  monitor->unregisterShortcut(KivShortcut(kVkA, kCommand));
  EXPECT_FALSE(monitor->isShortcutRegistered(KivShortcut(kVkU, kControl)));
  EXPECT_EQ(type({QStringLiteral("ctrl+u"), QStringLiteral("ctrl+p")}), (Runs{{"down", 1}}));
  client.poll();
  client.clear();
  EXPECT_EQ(type({QStringLiteral("ctrl+u")}), Runs{});
  client.poll();
  EXPECT_FALSE(client.keyEvents().empty()) << "an unregistered combination reaches the focused window again";

  monitor->unregisterAllShortcuts();
  EXPECT_FALSE(monitor->isShortcutRegistered(KivShortcut(kVkP, kControl)));
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkF12, kControl), [this] { ++markers; }));
  EXPECT_EQ(type({QStringLiteral("ctrl+p")}), Runs{});
}

TEST_F(KivHotKeysTest, ACombinationAnotherClientHoldsIsRefusedAndNothingChanges) {
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkD, kControl), counting("refresh")));
  ASSERT_TRUE(client.grabKey(client.keycodeOfKeysym('u'), kXControl));
  EXPECT_FALSE(monitor->registerShortcut(KivShortcut(kVkU, kControl), counting("up")));
  EXPECT_FALSE(monitor->isShortcutRegistered(KivShortcut(kVkU, kControl)));
  EXPECT_TRUE(monitor->isShortcutRegistered(KivShortcut(kVkD, kControl)));
  EXPECT_EQ(type({QStringLiteral("ctrl+u"), QStringLiteral("ctrl+d")}), (Runs{{"refresh", 1}}));
  client.ungrabKey(client.keycodeOfKeysym('u'), kXControl);
}

TEST_F(KivHotKeysTest, RegisteringAnEqualShortcutReplacesTheAction) {
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkD, kControl), counting("first")));
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkD, kControl | 0x10000), counting("second")));
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Runs{{"second", 1}}));
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkD, kControl), nullptr));
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), Runs{}) << "a hotkey without action runs nothing";
  monitor->handleEvent({0x41424344, ostrel::CarbonHotKeyID.load()});
  monitor->handleEvent({ostrel::KivHotKeySignature, 0xFFFFFFFF});
  EXPECT_EQ(type({}), Runs{}) << "foreign signatures and unknown identifiers run nothing";
}

TEST_F(KivHotKeysTest, SystemCheckSeesOtherClientsButNotOstrelsOwnHotKeys) {
  ostrel::KivStringTable::setProcessTable(ostrel::KivStringTable::shipped(ostrel::KivStringTable::Language::English));
  ostrel::KivMenu::setMainMenuProvider(nullptr);
  ostrel::KivShortcutValidator validator(service);
  ASSERT_TRUE(monitor->registerShortcut(KivShortcut(kVkD, kControl), counting("refresh")));
  ASSERT_TRUE(client.grabKey(client.keycodeOfKeysym('p'), kXControl));

  QString explanation;
  EXPECT_TRUE(validator.isShortcutAlreadyTakenBySystem(KivShortcut(kVkP, kControl), &explanation));
  EXPECT_EQ(explanation, ostrel::KivStringTable::shipped(ostrel::KivStringTable::Language::English)
                             ->lookup(ostrel::kivstrings::takenBySystem));
  explanation.clear();
  EXPECT_FALSE(validator.isShortcutAlreadyTakenBySystem(KivShortcut(kVkP, kControl | kShift), &explanation));
  EXPECT_FALSE(validator.isShortcutAlreadyTakenBySystem(KivShortcut(kVkD, kControl), &explanation));
  EXPECT_TRUE(explanation.isEmpty());
  EXPECT_FALSE(validator.isShortcutAlreadyTakenBySystem(KivShortcut(KivShortcut::kNoKeyCode, kControl), nullptr));

  // The probe must leave Ostrel's own hotkey working.
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Runs{{"refresh", 1}}));
  // The process-wide service is what the shared validator asks.
  KivShortcutMonitor::setSystemHotKeyService(service);
  EXPECT_TRUE(ostrel::KivShortcutValidator::sharedValidator().isShortcutAlreadyTakenBySystem(
      KivShortcut(kVkP, kControl), nullptr));
  KivShortcutMonitor::setSystemHotKeyService(nullptr);
  client.ungrabKey(client.keycodeOfKeysym('p'), kXControl);
}

TEST_F(KivHotKeysTest, BinderFollowsTheSettingsFileOnDisk) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path();
  const auto writeFromOutside = [&](const QVariantMap& values) { ostrel::test::writeIniFromOutside(path, values); };
  writeFromOutside({{"refresh", KivShortcut(kVkD, kControl).archivedData()}});
  ostrel::PreferenceStore store(path);
  ostrel::KivShortcutBinder binder(monitor, store);

  binder.bindShortcutWithDefaultsKey(QStringLiteral("refresh"), counting("refresh"));
  EXPECT_TRUE(monitor->isShortcutRegistered(KivShortcut(kVkD, kControl))) << "registered by binding";
  EXPECT_EQ(type({QStringLiteral("ctrl+d")}), (Runs{{"refresh", 1}}));

  writeFromOutside({{"refresh", KivShortcut(kVkU, kControl).archivedData()}});
  ASSERT_TRUE(desktop::waitFor([&] { return monitor->isShortcutRegistered(KivShortcut(kVkU, kControl)); }, client));
  EXPECT_FALSE(monitor->isShortcutRegistered(KivShortcut(kVkD, kControl)));
  EXPECT_EQ(type({QStringLiteral("ctrl+d"), QStringLiteral("ctrl+u")}), (Runs{{"refresh", 1}}));

  writeFromOutside({{"other", 1}});
  ASSERT_TRUE(desktop::waitFor([&] { return !monitor->isShortcutRegistered(KivShortcut(kVkU, kControl)); }, client));
  EXPECT_EQ(type({QStringLiteral("ctrl+u")}), Runs{});

  store.setObjectForKey(QStringLiteral("refresh"), KivShortcut(kVkP, kControl).archivedData());
  EXPECT_EQ(type({QStringLiteral("ctrl+p")}), (Runs{{"refresh", 1}}));
  binder.breakBindingWithDefaultsKey(QStringLiteral("refresh"));
  EXPECT_FALSE(binder.isRegisteredAction(QStringLiteral("refresh")));
  EXPECT_EQ(type({QStringLiteral("ctrl+p")}), Runs{});
}

}  // namespace
