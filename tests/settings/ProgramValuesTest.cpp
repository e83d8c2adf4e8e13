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
                             "[General]\nlanguage=1\n"
                             "refresh_hot_keycode=2\nrefresh_hot_keycode_flags=262144\n"
                             "threshold_hot_keycode=32\nthreshold_hot_keycode_flags=393216\n"
                             "threshold_down_hot_keycode=35\nthreshold_down_hot_keycode_flags=1048576\n");
  PreferenceStore store(folder.path());
  ostrel::LogCapture log;
  ostrel::loadMainWindowPreferences(store);
  EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();
  EXPECT_EQ(ostrel::CurrentLanguage, 1);
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
      {"9999 is the longest period", 1, 9999, true, 9999, 0},
      {"above 9999 is absent", 1, 12345, false, 0, 1},
      {"beyond 32 bits is absent, not cut to its low bits", 1, 0x100000000LL + 1, false, 0, 1},
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
  EXPECT_EQ(ostrel::autoClearValue, 0) << "outside 0..9999: absent";
  EXPECT_EQ(ostrel::autoStart, 1);
  store.setIntegerForKey(prefkeys::autoClearValue, 9999);
  ostrel::loadSettingsWindowPreferences(store);
  EXPECT_EQ(ostrel::autoClearValue, 9999);
}

TEST(ProgramValues, ValuesNoSettingsWindowWritesAreReadAsAbsentWithOneLineAndTheFileKeepsThem) {
  const struct {
    const char* key;
    qint64 stored;
    const std::uint32_t& read;
    const char* logged;  // empty: accepted as stored
  } cases[] = {
      {"refresh_hot_keycode", 65535, ostrel::RefreshHotkeyKeyCode, ""},
      {"refresh_hot_keycode", 65536, ostrel::RefreshHotkeyKeyCode,
       "Preference refresh_hot_keycode holds 65536, outside 0..65535: it is read as absent"},
      {"threshold_hot_keycode_flags", 0x1F0000, ostrel::ThresholdInfoHotkeyModifierFlags, ""},
      {"threshold_hot_keycode_flags", 0x40001, ostrel::ThresholdInfoHotkeyModifierFlags,
       "Preference threshold_hot_keycode_flags holds 262145, which has bits no modifier key has: it is read as absent"},
      {"threshold_down_hot_keycode_flags", -0x40000, ostrel::ThresholdDownInfoHotkeyModifierFlags,
       "Preference threshold_down_hot_keycode_flags holds -262144, which has bits no modifier key has: it is read as "
       "absent"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.stored));
    ostrel::test::SettingsFolder folder;
    const QByteArray text = "[General]\nlanguage=5\n" + QByteArray(c.key) + "=" + QByteArray::number(c.stored) + "\n";
    ostrel::test::writeInPlace(folder.path(), text);
    PreferenceStore store(folder.path());
    ostrel::LogCapture log;
    ostrel::loadMainWindowPreferences(store);
    EXPECT_EQ(ostrel::CurrentLanguage, 0);
    EXPECT_EQ(static_cast<qint64>(c.read), *c.logged ? 0 : c.stored);
    QStringList expected{"Preference language holds 5, outside 0..1: it is read as absent"};
    if (*c.logged) expected << QString::fromUtf8(c.logged);
    EXPECT_EQ(log.lines(), expected);
    EXPECT_EQ(ostrel::test::readBytes(folder.path()), text) << "reading never rewrites the file";
  }
}

TEST(ProgramValues, PauseWhileIdleIsOnUntilSwitchedOffAndPageRefreshAndIdleTimeStayInRange) {
  const struct {
    const char* line;  // what the file holds besides [General]; empty: nothing
    std::int32_t pause;
    std::int32_t pages;
    std::int32_t idleSeconds;
    const char* logged;  // empty: nothing to say
  } cases[] = {
      {"", 1, 0, 60, ""},
      {"pauseWhileIdle=0", 0, 0, 60, ""},
      {"pauseWhileIdle=1\npageRefreshValue=99\nidlePauseSeconds=1", 1, 99, 1, ""},
      {"pauseWhileIdle=2", 1, 0, 60, "Preference pauseWhileIdle holds 2, outside 0..1: it is read as absent"},
      {"pauseWhileIdle=off", 1, 0, 60,
       "Preference pauseWhileIdle holds \"off\", not a whole number: it is read as absent"},
      {"pageRefreshValue=100", 1, 0, 60, "Preference pageRefreshValue holds 100, outside 0..99: it is read as absent"},
      {"pageRefreshValue=-3", 1, 0, 60, "Preference pageRefreshValue holds -3, outside 0..99: it is read as absent"},
      {"idlePauseSeconds=0", 1, 0, 60, "Preference idlePauseSeconds holds 0, outside 1..9999: it is read as absent"},
      {"idlePauseSeconds=10000", 1, 0, 60,
       "Preference idlePauseSeconds holds 10000, outside 1..9999: it is read as absent"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ostrel::test::SettingsFolder folder;
    const QByteArray text = "[General]\n" + QByteArray(c.line) + "\n";
    ostrel::test::writeInPlace(folder.path(), text);
    PreferenceStore store(folder.path());
    ostrel::PauseWhileIdle = -1;
    ostrel::PageRefreshValue = -1;
    ostrel::IdlePauseSeconds = -1;
    ostrel::LogCapture log;
    ostrel::loadMainWindowPreferences(store);
    EXPECT_EQ(ostrel::PauseWhileIdle, c.pause);
    EXPECT_EQ(ostrel::PageRefreshValue, c.pages);
    EXPECT_EQ(ostrel::IdlePauseSeconds, c.idleSeconds);
    EXPECT_EQ(log.lines(), *c.logged ? QStringList{QString::fromUtf8(c.logged)} : QStringList{});
    EXPECT_EQ(ostrel::test::readBytes(folder.path()), text) << "reading never rewrites the file";
  }
}

TEST(ProgramValues, PauseWhileIdleAndPageRefreshAreWrittenAtOnceAndAPageCountOutOfRangeChangesNothing) {
  ostrel::test::SettingsFolder folder;
  PreferenceStore store(folder.path());
  ostrel::storePauseWhileIdle(store, false);
  EXPECT_EQ(ostrel::PauseWhileIdle, 0);
  EXPECT_TRUE(ostrel::storePageRefreshValue(store, 4));
  EXPECT_EQ(ostrel::PageRefreshValue, 4);
  EXPECT_FALSE(ostrel::storePageRefreshValue(store, 100));
  EXPECT_FALSE(ostrel::storePageRefreshValue(store, -1));
  EXPECT_EQ(ostrel::PageRefreshValue, 4);
  const QByteArray written = ostrel::test::readBytes(folder.path());
  EXPECT_TRUE(written.contains("pauseWhileIdle=0\n")) << written.toStdString();
  EXPECT_TRUE(written.contains("pageRefreshValue=4\n")) << written.toStdString();
  // A new process reads them back.
  PreferenceStore reread(folder.path());
  ostrel::loadMainWindowPreferences(reread);
  EXPECT_EQ(ostrel::PauseWhileIdle, 0);
  EXPECT_EQ(ostrel::PageRefreshValue, 4);
}

TEST(ProgramValues, TheMonitorsAdapterIsRememberedAndADamagedValueIsIgnoredOnce) {
  ostrel::test::SettingsFolder folder;
  PreferenceStore store(folder.path());
  EXPECT_EQ(ostrel::rememberedMonitorAdapter(store), QString());
  for (const char* identity : {"usb:1a86:7523:", "usb:0403:6001:A50285BI", "path:/dev/ttyS0",
                               "path:/run/user/1000/ostrel/serial/ostrel-sim0"}) {
    ostrel::rememberMonitorAdapter(store, QString::fromLatin1(identity));
    EXPECT_EQ(ostrel::rememberedMonitorAdapter(store), QString::fromLatin1(identity));
    EXPECT_TRUE(ostrel::test::readBytes(folder.path()).contains(QByteArray(QByteArray("monitorAdapter=") + identity)))
        << "written at once";
  }
  for (const char* damaged : {"usb:1A86:7523:", "usb:1a86:75:", "usb:1a86:7523:with blank", "path:relative", "42"}) {
    SCOPED_TRACE(damaged);
    ostrel::test::writeInPlace(folder.path(), QByteArray(QByteArray("[General]\nmonitorAdapter=") + damaged + "\n"));
    PreferenceStore reread(folder.path());
    ostrel::LogCapture log;
    EXPECT_EQ(ostrel::rememberedMonitorAdapter(reread), QString());
    EXPECT_EQ(ostrel::rememberedMonitorAdapter(reread), QString());
    ASSERT_EQ(log.lines().size(), 1) << "once, not at every pass";
    EXPECT_TRUE(log.lines().front().startsWith("Preference monitorAdapter holds")) << log.lines().front().toStdString();
  }
}

}  // namespace
