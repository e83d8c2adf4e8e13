#include "settings/PreferenceKeys.h"
#include "settings/PreferenceStore.h"

#include "SettingsTestFiles.h"
#include "common/Log.h"
#include "support/EventLoopWait.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <thread>

#include <gtest/gtest.h>

namespace {

using ostrel::PreferenceStore;
using ostrel::test::readBytes;
using ostrel::test::replaceFile;
using ostrel::test::runEventLoopFor;
using ostrel::test::runEventLoopUntil;
namespace prefkeys = ostrel::prefkeys;

const QString kAllKeys[] = {prefkeys::language,
                            prefkeys::refreshHotKeyCode,
                            prefkeys::refreshHotKeyCodeFlags,
                            prefkeys::thresholdHotKeyCode,
                            prefkeys::thresholdHotKeyCodeFlags,
                            prefkeys::thresholdDownHotKeyCode,
                            prefkeys::thresholdDownHotKeyCodeFlags,
                            prefkeys::autoClearCheckValue,
                            prefkeys::autoClearValue,
                            prefkeys::autoStart};

// Records the keys the store reports as changed, in order.
struct ChangeRecorder {
  explicit ChangeRecorder(PreferenceStore& store)
      : observation(store.observe([this](const QString& key) { keys << key; })) {}
  QStringList keys;
  ostrel::ScopedObserver observation;
};

TEST(PreferenceStore, StandardStoreIsTheQSettingsFileOfVeldorOstrel) {
  const QString expected = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/VELDOR/Ostrel.conf");
  ASSERT_FALSE(qgetenv("XDG_CONFIG_HOME").isEmpty()) << "run through run-test.sh";
  EXPECT_EQ(PreferenceStore::standardFilePath(), expected);
  EXPECT_EQ(PreferenceStore::standard().filePath(),
            QSettings(QStringLiteral("VELDOR"), QStringLiteral("Ostrel")).fileName());

  PreferenceStore::standard().setIntegerForKey(prefkeys::language, 1);
  ASSERT_TRUE(PreferenceStore::standard().synchronize());
  EXPECT_EQ(readBytes(expected), QByteArray("[General]\nlanguage=1\n"));
  EXPECT_EQ(QSettings(QStringLiteral("VELDOR"), QStringLiteral("Ostrel")).value(QStringLiteral("language")).toInt(), 1);
}

TEST(PreferenceStore, EmptyStoreReadsZeroForEveryKeyAndCreatesNothing) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path(QStringLiteral("VELDOR/Ostrel.conf"));
  ostrel::LogCapture log;
  PreferenceStore store(path);
  for (const QString& key : kAllKeys) {
    EXPECT_EQ(store.integerForKey(key), 0) << key.toStdString();
    EXPECT_FALSE(store.objectForKey(key).isValid()) << key.toStdString();
  }
  EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();
  EXPECT_FALSE(store.isLeavingFileUntouched());
  runEventLoopFor(100);
  EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(PreferenceStore, IntegersRoundTripThroughTheIniFile) {
  struct Case {
    QString key;
    qint64 value;
    const char* line;
  };
  const Case cases[] = {
      {prefkeys::language, 1, "language=1"},
      {prefkeys::refreshHotKeyCode, 2, "refresh_hot_keycode=2"},
      {prefkeys::refreshHotKeyCodeFlags, 262144, "refresh_hot_keycode_flags=262144"},
      {prefkeys::thresholdHotKeyCode, 65535, "threshold_hot_keycode=65535"},
      {prefkeys::thresholdHotKeyCodeFlags, 0x1E0000, "threshold_hot_keycode_flags=1966080"},
      {prefkeys::thresholdDownHotKeyCode, 35, "threshold_down_hot_keycode=35"},
      {prefkeys::thresholdDownHotKeyCodeFlags, 0, "threshold_down_hot_keycode_flags=0"},
      {prefkeys::autoClearCheckValue, 1, "autoClearCheckValue=1"},
      {prefkeys::autoClearValue, 9999, "autoClearValue=9999"},
      {prefkeys::autoStart, -7, "autoStart=-7"},
  };
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path(QStringLiteral("VELDOR/Ostrel.conf"));
  {
    PreferenceStore store(path);
    for (const Case& c : cases) store.setIntegerForKey(c.key, c.value);
    for (const Case& c : cases) EXPECT_EQ(store.integerForKey(c.key), c.value) << "before the flush: " << c.line;
    ASSERT_TRUE(store.synchronize());
  }
  const QByteArray text = readBytes(path);
  EXPECT_TRUE(text.startsWith("[General]\n")) << text.toStdString();
  const QList<QByteArray> lines = text.split('\n');
  for (const Case& c : cases)
    EXPECT_TRUE(lines.contains(QByteArray(c.line))) << c.line << " in\n" << text.toStdString();

  PreferenceStore reread(path);
  for (const Case& c : cases) EXPECT_EQ(reread.integerForKey(c.key), c.value) << c.line;
}

TEST(PreferenceStore, WritesReachTheFileWithoutAnExplicitFlush) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path();
  PreferenceStore store(path);
  store.setIntegerForKey(prefkeys::autoClearValue, 30);
  EXPECT_TRUE(runEventLoopUntil([&] { return readBytes(path).contains("autoClearValue=30"); }));
}

TEST(PreferenceStore, ValuesOfTheWrongTypeReadAsZeroWithOneLogLineEach) {
  struct Case {
    const char* line;
    QString key;
    qint64 expected;
    bool logged;
  };
  const Case cases[] = {
      {"language=abc", prefkeys::language, 0, true},
      {"autoClearValue=1.5", prefkeys::autoClearValue, 0, true},
      {"autoStart=@ByteArray(1)", prefkeys::autoStart, 0, true},
      {"refresh_hot_keycode=2, 3", prefkeys::refreshHotKeyCode, 0, true},
      {"threshold_hot_keycode=0x20", prefkeys::thresholdHotKeyCode, 0, true},
      {"threshold_down_hot_keycode=99999999999999999999", prefkeys::thresholdDownHotKeyCode, 0, true},
      {"autoClearCheckValue=\" 7 \"", prefkeys::autoClearCheckValue, 7, false},
      {"refresh_hot_keycode_flags=+262144", prefkeys::refreshHotKeyCodeFlags, 262144, false},
      {"threshold_hot_keycode_flags=-1", prefkeys::thresholdHotKeyCodeFlags, -1, false},
  };
  ostrel::test::SettingsFolder folder;
  QByteArray text = "[General]\n";
  for (const Case& c : cases) text += QByteArray(c.line) + '\n';
  ostrel::test::writeInPlace(folder.path(), text);
  PreferenceStore store(folder.path());
  ASSERT_FALSE(store.isLeavingFileUntouched());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ostrel::LogCapture log;
    EXPECT_EQ(store.integerForKey(c.key), c.expected);
    ASSERT_EQ(log.lines().size(), c.logged ? 1 : 0) << log.lines().join('\n').toStdString();
    if (c.logged) {
      EXPECT_TRUE(log.lines().first().contains(c.key)) << log.lines().first().toStdString();
    }
  }
  EXPECT_EQ(readBytes(folder.path()), text) << "reading never rewrites";
}

TEST(PreferenceStore, ObjectsRoundTripWithTheirTypes) {
  ostrel::test::SettingsFolder folder;
  const QVariantMap dictionary{{QStringLiteral("keyCode"), 2u}, {QStringLiteral("modifierFlags"), 262144ull}};
  const QByteArray bytes("KVSC\x01\x00\xff", 7);
  {
    PreferenceStore store(folder.path());
    store.setObjectForKey(QStringLiteral("dict"), dictionary);
    store.setObjectForKey(QStringLiteral("data"), bytes);
    store.setObjectForKey(QStringLiteral("gone"), 5);
    store.removeObjectForKey(QStringLiteral("gone"));
    ASSERT_TRUE(store.synchronize());
  }
  PreferenceStore reread(folder.path());
  EXPECT_EQ(reread.objectForKey(QStringLiteral("dict")).toMap(), dictionary);
  EXPECT_EQ(reread.objectForKey(QStringLiteral("data")).toByteArray(), bytes);
  EXPECT_FALSE(reread.objectForKey(QStringLiteral("gone")).isValid());
  EXPECT_FALSE(readBytes(folder.path()).contains("gone"));
}

TEST(PreferenceStore, RegisteredDefaultsAreReadButNeverWritten) {
  ostrel::test::SettingsFolder folder;
  PreferenceStore store(folder.path());
  ChangeRecorder changes(store);
  store.registerDefaults({{QStringLiteral("hotkey"), QByteArray("default")}});
  EXPECT_EQ(changes.keys, QStringList{QStringLiteral("hotkey")});
  EXPECT_EQ(store.objectForKey(QStringLiteral("hotkey")).toByteArray(), QByteArray("default"));

  store.setObjectForKey(QStringLiteral("hotkey"), QByteArray("mine"));
  store.removeObjectForKey(QStringLiteral("hotkey"));
  EXPECT_EQ(store.objectForKey(QStringLiteral("hotkey")).toByteArray(), QByteArray("default"));
  EXPECT_EQ(changes.keys.size(), 3);
  ASSERT_TRUE(store.synchronize());
  EXPECT_FALSE(readBytes(folder.path()).contains("default"));
}

TEST(PreferenceStore, AWriteFromAnotherThreadReachesTheFileThereAndLaterWritesStillFlushThemselves) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path();
  PreferenceStore store(path);
  store.setIntegerForKey(prefkeys::language, 1);
  ASSERT_TRUE(store.synchronize());
  ChangeRecorder changes(store);
  bool written = false;
  std::thread writer(
      [&] { written = store.setObjectForKeyAndWrite(prefkeys::monitorAdapter, QStringLiteral("path:/dev/ttyUSB7")); });
  writer.join();
  EXPECT_TRUE(written);
  // On disk before the call returned, with nothing left for this thread to do.
  EXPECT_TRUE(readBytes(path).contains("monitorAdapter=path:/dev/ttyUSB7")) << readBytes(path).toStdString();
  EXPECT_TRUE(readBytes(path).contains("language=1"));
  EXPECT_EQ(store.objectForKey(prefkeys::monitorAdapter).toString(), QStringLiteral("path:/dev/ttyUSB7"));
  // Observers hear of it on the store's thread, where their own state lives.
  EXPECT_TRUE(changes.keys.isEmpty()) << "told on the writer's thread";
  EXPECT_TRUE(runEventLoopUntil([&] { return !changes.keys.isEmpty(); }));
  EXPECT_EQ(changes.keys, QStringList{prefkeys::monitorAdapter});
  // The store's settings came from the writer's thread; they still flush on
  // this thread's event loop.
  store.setIntegerForKey(prefkeys::autoClearValue, 30);
  EXPECT_TRUE(runEventLoopUntil([&] { return readBytes(path).contains("autoClearValue=30"); }));
  runEventLoopFor(100);
  EXPECT_EQ(changes.keys, (QStringList{prefkeys::monitorAdapter, prefkeys::autoClearValue}))
      << "our own writes reaching the disk are no change";
}

TEST(PreferenceStore, ChangesThroughTheStoreAreReportedOncePerRealChange) {
  ostrel::test::SettingsFolder folder;
  PreferenceStore store(folder.path());
  ChangeRecorder changes(store);
  store.setIntegerForKey(prefkeys::language, 1);
  store.setIntegerForKey(prefkeys::language, 1);
  store.setIntegerForKey(prefkeys::autoStart, 0);      // absent -> 0 is still a change of the stored entry
  store.removeObjectForKey(prefkeys::autoClearValue);  // absent stays absent
  EXPECT_EQ(changes.keys, (QStringList{prefkeys::language, prefkeys::autoStart}));
  // Our own write reaching the disk is no change.
  runEventLoopFor(300);
  EXPECT_EQ(changes.keys.size(), 2);
}

TEST(PreferenceStore, ChangesMadeInTheFileOnDiskAreReportedAndRead) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path(QStringLiteral("VELDOR/Ostrel.conf"));
  PreferenceStore store(path);  // folder VELDOR does not exist yet
  ChangeRecorder changes(store);

  struct Step {
    const char* label;
    QByteArray text;  // empty: delete the file
    QStringList changedKeys;
    qint64 language;
  };
  const Step steps[] = {
      {"created with its folder", "[General]\nlanguage=1\n", {prefkeys::language}, 1},
      {"atomically replaced", "[General]\nlanguage=0\nautoStart=1\n", {prefkeys::autoStart, prefkeys::language}, 0},
      {"replaced again (watch re-armed)", "[General]\nlanguage=1\nautoStart=1\n", {prefkeys::language}, 1},
      {"deleted", "", {prefkeys::autoStart, prefkeys::language}, 0},
      {"created again", "[General]\nlanguage=1\n", {prefkeys::language}, 1},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.label);
    changes.keys.clear();
    if (step.text.isEmpty()) {
      ASSERT_TRUE(QFile::remove(path));
    } else {
      ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
      replaceFile(path, step.text);
    }
    ASSERT_TRUE(runEventLoopUntil([&] {
      return store.integerForKey(prefkeys::language) == step.language && changes.keys.size() >= step.changedKeys.size();
    }));
    runEventLoopFor(150);  // nothing more may follow
    QStringList sorted = changes.keys;
    sorted.sort();
    EXPECT_EQ(sorted, step.changedKeys);
  }
}

TEST(PreferenceStore, OnlyKeysWhoseValueChangedAreReported) {
  ostrel::test::SettingsFolder folder;
  ostrel::test::writeInPlace(folder.path(), "[General]\nlanguage=1\nautoStart=0\n");
  PreferenceStore store(folder.path());
  ChangeRecorder changes(store);
  store.setIntegerForKey(prefkeys::language, 1);  // the file's "1" is the same value
  store.setIntegerForKey(prefkeys::autoClearValue, 30);
  ASSERT_TRUE(runEventLoopUntil([&] { return readBytes(folder.path()).contains("autoClearValue=30"); }));
  EXPECT_EQ(changes.keys, QStringList{prefkeys::autoClearValue});

  changes.keys.clear();
  replaceFile(folder.path(), "[General]\nautoClearValue=30\nautoStart=1\nlanguage=1\n");
  ASSERT_TRUE(runEventLoopUntil([&] { return store.integerForKey(prefkeys::autoStart) == 1; }));
  runEventLoopFor(150);
  EXPECT_EQ(changes.keys, QStringList{prefkeys::autoStart}) << "values written as numbers and read back as text";
}

TEST(PreferenceStore, AnInPlaceEditOnDiskIsSeenToo) {
  ostrel::test::SettingsFolder folder;
  ostrel::test::writeInPlace(folder.path(), "[General]\nautoClearValue=30\n");
  PreferenceStore store(folder.path());
  ChangeRecorder changes(store);
  ostrel::test::writeInPlace(folder.path(), "[General]\nautoClearValue=120\n");
  ASSERT_TRUE(runEventLoopUntil([&] { return store.integerForKey(prefkeys::autoClearValue) == 120; }));
  EXPECT_EQ(changes.keys, QStringList{prefkeys::autoClearValue});
}

}  // namespace
