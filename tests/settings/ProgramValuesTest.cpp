#include "settings/PreferenceKeys.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"

#include "SettingsTestFiles.h"
#include "common/Log.h"

#include <gtest/gtest.h>

namespace {

using ostrel::PreferenceStore;
namespace prefkeys = ostrel::prefkeys;

TEST(ProgramValues, BuiltInShortcutsAreControlWithDUAndP) {
  // Before any load: the starting values the key monitors would see.
  EXPECT_EQ(ostrel::RefreshHotkeyKeyCode, 2u);
  EXPECT_EQ(ostrel::ThresholdInfoHotkeyKeyCode, 32u);
  EXPECT_EQ(ostrel::ThresholdDownInfoHotkeyKeyCode, 35u);
  for (std::uint32_t flags : {ostrel::RefreshHotkeyModifierFlags, ostrel::ThresholdInfoHotkeyModifierFlags,
                              ostrel::ThresholdDownInfoHotkeyModifierFlags}) {
    EXPECT_EQ(flags, 0x40000u);
  }
}

TEST(ProgramValues, MainWindowLoadOfAnEmptyStoreLeavesEveryShortcutInactive) {
  ostrel::test::SettingsFolder folder;
  PreferenceStore store(folder.path());
  ostrel::CurrentLanguage = 1;
  const ostrel::AutoClearAtStart start = ostrel::loadMainWindowPreferences(store);
  EXPECT_FALSE(start.armTimer);
  EXPECT_EQ(ostrel::CurrentLanguage, 0) << "Chinese";
  for (std::uint32_t v : {ostrel::RefreshHotkeyKeyCode, ostrel::RefreshHotkeyModifierFlags,
                          ostrel::ThresholdInfoHotkeyKeyCode, ostrel::ThresholdInfoHotkeyModifierFlags,
                          ostrel::ThresholdDownInfoHotkeyKeyCode, ostrel::ThresholdDownInfoHotkeyModifierFlags}) {
    EXPECT_EQ(v, 0u);
  }
}

TEST(ProgramValues, MainWindowLoadReadsLanguageAndTheSixShortcutValues) {
  ostrel::test::SettingsFolder folder;
  ostrel::test::writeInPlace(folder.path(),
                             "[General]\nlanguage=7\n"
                             "refresh_hot_keycode=2\nrefresh_hot_keycode_flags=262144\n"
                             "threshold_hot_keycode=32\nthreshold_hot_keycode_flags=393216\n"
                             "threshold_down_hot_keycode=35\nthreshold_down_hot_keycode_flags=1048576\n");
  PreferenceStore store(folder.path());
  ostrel::loadMainWindowPreferences(store);
  EXPECT_EQ(ostrel::CurrentLanguage, 7) << "used unchanged: any value but 0 is English";
  EXPECT_EQ(ostrel::RefreshHotkeyKeyCode, 2u);
  EXPECT_EQ(ostrel::RefreshHotkeyModifierFlags, 0x40000u);
  EXPECT_EQ(ostrel::ThresholdInfoHotkeyKeyCode, 32u);
  EXPECT_EQ(ostrel::ThresholdInfoHotkeyModifierFlags, 0x60000u);
  EXPECT_EQ(ostrel::ThresholdDownInfoHotkeyKeyCode, 35u);
  EXPECT_EQ(ostrel::ThresholdDownInfoHotkeyModifierFlags, 0x100000u);
}

TEST(ProgramValues, AutoClearTimerRuleAtMainWindowStart) {
  struct Case {
    const char* label;
    qint64 check;
    qint64 period;
    bool arm;
    std::int32_t seconds;
    int logLines;
  };
  const Case cases[] = {
      {"on with 30 s", 1, 30, true, 30, 0},
      {"on with 0 s", 1, 0, false, 0, 0},
      {"check value 2 is not on", 2, 30, false, 0, 0},
      {"off", 0, 30, false, 0, 0},
      {"above 9999 is used unchanged", 1, 12345, true, 12345, 0},
      {"low 32 bits zero", 1, 0x100000000LL, false, 0, 0},
      {"low 32 bits taken", 1, 0x100000000LL + 7, true, 7, 0},
      {"negative period never arms", 1, -5, false, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ostrel::test::SettingsFolder folder;
    PreferenceStore store(folder.path());
    store.setIntegerForKey(prefkeys::autoClearCheckValue, c.check);
    store.setIntegerForKey(prefkeys::autoClearValue, c.period);
    ostrel::LogCapture log;
    const ostrel::AutoClearAtStart start = ostrel::loadMainWindowPreferences(store);
    EXPECT_EQ(start.armTimer, c.arm);
    EXPECT_EQ(start.periodSeconds, c.seconds);
    EXPECT_EQ(log.lines().size(), c.logLines) << log.lines().join('\n').toStdString();
  }
}

TEST(ProgramValues, SettingsWindowLoadReadsTheValuesItOpensWith) {
  ostrel::test::SettingsFolder folder;
  PreferenceStore store(folder.path());
  store.setIntegerForKey(prefkeys::autoClearCheckValue, 1);
  store.setIntegerForKey(prefkeys::autoClearValue, 12345);
  store.setIntegerForKey(prefkeys::autoStart, 1);
  ostrel::loadSettingsWindowPreferences(store);
  EXPECT_EQ(ostrel::autoClearCheckValue, 1);
  EXPECT_EQ(ostrel::autoClearValue, 12345) << "clamped only when the window is confirmed";
  EXPECT_EQ(ostrel::autoStart, 1);
}

}  // namespace
