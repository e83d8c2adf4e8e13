#include "shortcuts/KivLocalizedString.h"
#include "shortcuts/KivStringTable.h"

#include "common/Log.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using ostrel::KivStringTable;
using Language = KivStringTable::Language;

const QString kLookedUpKeys[] = {
    ostrel::kivstrings::space,        ostrel::kivstrings::shortcutSet,      ostrel::kivstrings::shortcutCleared,
    ostrel::kivstrings::recorderHelp, ostrel::kivstrings::keyboardShortcut, ostrel::kivstrings::takenBySystem};

TEST(KivStringTable, LanguageFromTheLocaleVariablesInOrder) {
  struct Case {
    const char* label;
    std::map<std::string, QByteArray> env;
    Language expected;
  };
  const Case cases[] = {
      {"nothing set", {}, Language::English},
      {"LANG Chinese", {{"LANG", "zh_CN.UTF-8"}}, Language::SimplifiedChinese},
      {"LANG Taiwanese is still Chinese", {{"LANG", "zh_TW.UTF-8"}}, Language::SimplifiedChinese},
      {"LANG upper case", {{"LANG", "ZH_CN"}}, Language::SimplifiedChinese},
      {"LANG German", {{"LANG", "de_DE.UTF-8"}}, Language::English},
      {"LANG C", {{"LANG", "C"}}, Language::English},
      {"LC_MESSAGES before LANG", {{"LC_MESSAGES", "fr_FR"}, {"LANG", "zh_CN"}}, Language::English},
      {"LC_ALL before LC_MESSAGES", {{"LC_ALL", "zh_CN"}, {"LC_MESSAGES", "en_US"}}, Language::SimplifiedChinese},
      {"LANGUAGE first", {{"LANGUAGE", "zh_CN:en"}, {"LC_ALL", "en_US"}}, Language::SimplifiedChinese},
      {"LANGUAGE's first entry decides", {{"LANGUAGE", "en:zh_CN"}, {"LANG", "zh_CN"}}, Language::English},
      {"empty LANGUAGE is skipped", {{"LANGUAGE", ""}, {"LANG", "zh_CN"}}, Language::SimplifiedChinese},
      {"LANGUAGE with an empty first entry is skipped",
       {{"LANGUAGE", ":en"}, {"LANG", "zh_CN"}},
       Language::SimplifiedChinese},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto lookup = [&](const char* name) {
      const auto it = c.env.find(name);
      return it == c.env.end() ? QByteArray() : it->second;
    };
    EXPECT_EQ(KivStringTable::languageFromEnvironment(lookup), c.expected);
  }
}

TEST(KivStringTable, ShippedTablesHoldEveryTextTheLayerLooksUp) {
  const auto english = KivStringTable::shipped(Language::English);
  const auto chinese = KivStringTable::shipped(Language::SimplifiedChinese);
  ASSERT_TRUE(english);
  ASSERT_TRUE(chinese);
  for (const QString& key : kLookedUpKeys) {
    SCOPED_TRACE(key.toStdString());
    EXPECT_TRUE(english->contains(key));
    EXPECT_TRUE(chinese->contains(key));
    EXPECT_NE(english->lookup(key), chinese->lookup(key));
  }
  EXPECT_EQ(english->keys().size(), std::size(kLookedUpKeys));
  EXPECT_EQ(chinese->keys().size(), std::size(kLookedUpKeys));
  // The system explanation speaks of this desktop, not of another system's panels.
  EXPECT_FALSE(english->lookup(ostrel::kivstrings::takenBySystem).contains(QLatin1String("System Preferences")));
  EXPECT_TRUE(
      english->lookup(ostrel::kivstrings::takenBySystem)
          .startsWith(QLatin1String(
              "This combination cannot be used because it is already used by a system-wide keyboard shortcut.\n")));
}

TEST(KivStringTable, MissingKeysReadXXXNotTheKey) {
  const auto english = KivStringTable::shipped(Language::English);
  ASSERT_TRUE(english);
  EXPECT_EQ(english->lookup(QStringLiteral("No such text")), QStringLiteral("XXX"));
  EXPECT_EQ(english->lookup(QString()), QStringLiteral("XXX"));
}

TEST(KivStringTable, BadTablesAreRefusedWithOneLogLine) {
  struct Case {
    const char* label;
    QByteArray json;
  };
  const Case cases[] = {
      {"not JSON", "Space = Space"},
      {"an array", "[\"Space\"]"},
      {"a non-text entry", "{\"Space\": 1}"},
      {"cut short", "{\"Space\": \"Spa"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ostrel::LogCapture log;
    EXPECT_EQ(KivStringTable::fromJson(c.json), nullptr);
    EXPECT_EQ(log.lines().size(), 1);
  }
  const auto table = KivStringTable::fromJson("{\"Space\": \"Leertaste\"}");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->lookup(QStringLiteral("Space")), QStringLiteral("Leertaste"));
}

TEST(KivStringTable, LocalizedStringUsesTheProcessTable) {
  KivStringTable::setProcessTable(KivStringTable::fromJson("{\"Shortcut set\": \"Kürzel gesetzt\"}"));
  EXPECT_EQ(ostrel::KivLocalizedString(QStringLiteral("Shortcut set"), QStringLiteral("VoiceOver: Shortcut set")),
            QStringLiteral("Kürzel gesetzt"));
  EXPECT_EQ(ostrel::KivLocalizedString(QStringLiteral("Shortcut cleared"), QString()), QStringLiteral("XXX"));
  KivStringTable::setProcessTable(nullptr);
  EXPECT_EQ(ostrel::KivLocalizedString(QStringLiteral("Shortcut set"), QString()), QStringLiteral("XXX"));
  KivStringTable::setProcessTable(KivStringTable::shipped(Language::English));
}

}  // namespace
