// The binder's side of the preference file, without a hotkey service: which
// shortcut each bound key holds as the file changes. Registration with a real
// X server is covered in the desktop test.
#include "shortcuts/KivShortcutBinder.h"

#include "SettingsTestFiles.h"
#include "common/Log.h"
#include "settings/PreferenceStore.h"
#include "support/EventLoopWait.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using ostrel::KivShortcut;
using ostrel::KivShortcutBinder;
using ostrel::PreferenceStore;

constexpr quint64 kControl = 0x40000;
constexpr quint64 kCommand = 0x100000;

class KivShortcutBinderStoreTest : public ::testing::Test {
 protected:
  void writeFileFromOutside(const QVariantMap& values) { ostrel::test::writeIniFromOutside(path, values); }

  ostrel::test::SettingsFolder folder;
  QString path = folder.path();
};

TEST_F(KivShortcutBinderStoreTest, ArchiveFormFollowsTheFile) {
  writeFileFromOutside({{"refresh", KivShortcut(2, kControl).archivedData()}});
  PreferenceStore store(path);
  KivShortcutBinder binder(nullptr, store);
  EXPECT_FALSE(binder.isRegisteredAction("refresh"));

  binder.bindShortcutWithDefaultsKey("refresh", [] {});
  EXPECT_TRUE(binder.isRegisteredAction("refresh"));
  EXPECT_EQ(binder.valueForUndefinedKey("refresh"), KivShortcut(2, kControl)) << "read at binding time";

  struct Step {
    const char* label;
    QVariantMap file;
    std::optional<KivShortcut> expected;
  };
  const Step steps[] = {
      {"another shortcut written", {{"refresh", KivShortcut(96, kCommand).archivedData()}}, KivShortcut(96, kCommand)},
      {"damaged archive reads as none", {{"refresh", QByteArray("KVSC\x01")}}, std::nullopt},
      {"written again", {{"refresh", KivShortcut(35, kControl).archivedData()}}, KivShortcut(35, kControl)},
      {"entry deleted", {{"other", 1}}, std::nullopt},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.label);
    ostrel::LogCapture log;
    writeFileFromOutside(step.file);
    EXPECT_TRUE(
        ostrel::test::runEventLoopUntil([&] { return binder.valueForUndefinedKey("refresh") == step.expected; }));
  }

  // Through the store, too.
  store.setObjectForKey("refresh", KivShortcut(32, kControl).archivedData());
  EXPECT_EQ(binder.valueForUndefinedKey("refresh"), KivShortcut(32, kControl));

  binder.breakBindingWithDefaultsKey("refresh");
  EXPECT_FALSE(binder.isRegisteredAction("refresh"));
  ostrel::LogCapture log;
  EXPECT_EQ(binder.valueForUndefinedKey("refresh"), std::nullopt);
  EXPECT_EQ(log.lines().size(), 1) << "asking for a key that is not bound is reported";
  store.setObjectForKey("refresh", KivShortcut(2, kControl).archivedData());
  binder.setValueForUndefinedKey(KivShortcut(2, kControl), "refresh");
  EXPECT_EQ(log.lines().size(), 2);
}

TEST_F(KivShortcutBinderStoreTest, DictionaryFormWhenTheOptionsNameIt) {
  writeFileFromOutside({{"up", QVariantMap{{"keyCode", 32u}, {"modifierFlags", 262144u}}}});
  PreferenceStore store(path);
  KivShortcutBinder binder(nullptr, store);
  binder.setBindingOptions({ostrel::KivDictionaryTransformerName, nullptr});
  binder.bindShortcutWithDefaultsKey("up", [] {});
  EXPECT_EQ(binder.valueForUndefinedKey("up"), KivShortcut(32, kControl));

  writeFileFromOutside({{"up", QVariantMap{{"keyCode", 126u}, {"modifierFlags", 0x1F0000u}}}});
  EXPECT_TRUE(
      ostrel::test::runEventLoopUntil([&] { return binder.valueForUndefinedKey("up") == KivShortcut(126, 0x1E0000); }));
}

TEST_F(KivShortcutBinderStoreTest, DefaultShortcutsAreRegisteredInTheStoreOnly) {
  PreferenceStore store(path);
  KivShortcutBinder binder(nullptr, store);
  binder.setBindingOptions({ostrel::KivDictionaryTransformerName, nullptr});
  binder.bindShortcutWithDefaultsKey("down", [] {});
  EXPECT_EQ(binder.valueForUndefinedKey("down"), std::nullopt);

  binder.registerDefaultShortcuts({{"down", KivShortcut(35, kControl)}, {"unbound", KivShortcut(2, kControl)}});
  EXPECT_EQ(binder.valueForUndefinedKey("down"), KivShortcut(35, kControl)) << "the default is in force at once";
  EXPECT_EQ(store.objectForKey("unbound").toMap().value("keyCode").toULongLong(), 2u);
  ASSERT_TRUE(store.synchronize());
  EXPECT_FALSE(QFile::exists(path)) << "defaults are never written";

  // A stored value wins over the default; removing it brings the default back.
  store.setObjectForKey("down", QVariantMap{{"keyCode", 125u}, {"modifierFlags", 262144u}});
  EXPECT_EQ(binder.valueForUndefinedKey("down"), KivShortcut(125, kControl));
  store.removeObjectForKey("down");
  EXPECT_EQ(binder.valueForUndefinedKey("down"), KivShortcut(35, kControl));
}

TEST_F(KivShortcutBinderStoreTest, UnknownTransformerNameReadsNothingAndSaysSo) {
  PreferenceStore store(path);
  store.setObjectForKey("k", KivShortcut(2, kControl).archivedData());
  KivShortcutBinder binder(nullptr, store);
  binder.setBindingOptions({QStringLiteral("NoSuchTransformer"), nullptr});
  ostrel::LogCapture log;
  binder.bindShortcutWithDefaultsKey("k", [] {});
  EXPECT_EQ(binder.valueForUndefinedKey("k"), std::nullopt);
  binder.registerDefaultShortcuts({{"k", KivShortcut(2, kControl)}});
  EXPECT_EQ(log.lines().size(), 2) << log.lines().join('\n').toStdString();
}

}  // namespace
