// Unusable and unwritable preference files: Ostrel runs with the defaults or the
// session's values, says so once, and never destroys what is on disk.
#include "settings/PreferenceKeys.h"
#include "settings/PreferenceStore.h"

#include "SettingsTestFiles.h"
#include "WithoutFileAccessOverride.h"
#include "common/Log.h"
#include "support/EventLoopWait.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using ostrel::PreferenceStore;
using ostrel::test::readBytes;
using ostrel::test::runEventLoopFor;
namespace prefkeys = ostrel::prefkeys;

QStringList backupsBeside(const QString& path) {
  const QFileInfo info(path);
  return QDir(info.absolutePath()).entryList({info.fileName() + QStringLiteral(".unusable-*")}, QDir::Files);
}

template <std::size_t N>
QByteArray bytesOf(const char (&text)[N]) {
  return QByteArray(text, N - 1);
}

struct CorruptCase {
  const char* label;
  QByteArray bytes;
};

const CorruptCase kCorruptFiles[] = {
    {"garbage bytes", bytesOf("language=1\n\x00\xff\xfe\x13\x88garbage\x01\x02 =\n\xc3(")},
    {"a truncated line", "[General]\nlanguage=1\nautoClearValue=30\nrefresh_hot_key"},
    {"a truncated section header", "[General]\nlanguage=1\n[Gen"},
    {"a truncated quoted value", "[General]\nlanguage=1\nautoStart=\"1"},
};

TEST(PreferenceStoreFileStates, CorruptFileGivesDefaultsOneLineAndStaysUntouchedUntilSaved) {
  for (const CorruptCase& c : kCorruptFiles) {
    SCOPED_TRACE(c.label);
    ostrel::test::SettingsFolder folder;
    const QString path = folder.path();
    ostrel::test::writeInPlace(path, c.bytes);
    ostrel::LogCapture log;
    PreferenceStore store(path);

    ASSERT_EQ(log.lines().size(), 1) << log.lines().join('\n').toStdString();
    EXPECT_TRUE(log.lines().first().contains(path));
    EXPECT_TRUE(log.lines().first().contains(QLatin1String("default settings")));
    EXPECT_TRUE(store.isLeavingFileUntouched());
    EXPECT_EQ(store.integerForKey(prefkeys::language), 0) << "nothing is taken from a corrupt file";

    // The session goes on with what the user sets, and nothing reaches the disk.
    store.setIntegerForKey(prefkeys::autoClearValue, 45);
    EXPECT_EQ(store.integerForKey(prefkeys::autoClearValue), 45);
    runEventLoopFor(200);
    EXPECT_EQ(readBytes(path), c.bytes);
    EXPECT_EQ(log.lines().size(), 1);

    // The explicit save writes a good file and keeps the unusable one beside it.
    log.clear();
    ASSERT_TRUE(store.synchronize());
    EXPECT_FALSE(store.isLeavingFileUntouched());
    EXPECT_EQ(readBytes(path), QByteArray("[General]\nautoClearValue=45\n"));
    const QStringList backups = backupsBeside(path);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(readBytes(folder.path(backups.first())), c.bytes);
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().contains(backups.first()));
  }
}

TEST(PreferenceStoreFileStates, DirectoryInPlaceOfTheFile) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path();
  ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inside")));
  ostrel::LogCapture log;
  PreferenceStore store(path);
  ASSERT_EQ(log.lines().size(), 1);
  EXPECT_TRUE(log.lines().first().contains(QLatin1String("directory")));
  for (const QString& key : {QString(prefkeys::language), QString(prefkeys::autoClearCheckValue)}) {
    EXPECT_EQ(store.integerForKey(key), 0);
  }

  store.setIntegerForKey(prefkeys::language, 1);
  log.clear();
  EXPECT_FALSE(store.synchronize());
  ASSERT_EQ(log.lines().size(), 1);
  EXPECT_TRUE(log.lines().first().contains(QLatin1String("this session only")));
  EXPECT_EQ(store.integerForKey(prefkeys::language), 1) << "the choice stays in force";
  EXPECT_TRUE(QFileInfo(path + QStringLiteral("/inside")).isDir()) << "the directory is left alone";
}

TEST(PreferenceStoreFileStates, ReadOnlyDirectoryKeepsSessionValuesAndReportsTheFailure) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path();
  ostrel::test::writeInPlace(path, "[General]\nlanguage=0\n");
  PreferenceStore store(path);
  ASSERT_TRUE(QFile::setPermissions(folder.dir(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
  {
    ostrel::test::WithoutFileAccessOverride asUser;
    ostrel::LogCapture log;
    store.setIntegerForKey(prefkeys::language, 1);
    store.setIntegerForKey(prefkeys::autoClearValue, 30);
    EXPECT_FALSE(store.synchronize());
    ASSERT_EQ(log.lines().size(), 1) << log.lines().join('\n').toStdString();
    EXPECT_TRUE(log.lines().first().contains(path));
    EXPECT_TRUE(log.lines().first().contains(QLatin1String("this session only")));
    EXPECT_EQ(store.integerForKey(prefkeys::language), 1);
    EXPECT_EQ(store.integerForKey(prefkeys::autoClearValue), 30);
    EXPECT_EQ(readBytes(path), QByteArray("[General]\nlanguage=0\n"));
  }
  // Once the folder is writable again, the next save goes through.
  ASSERT_TRUE(
      QFile::setPermissions(folder.dir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
  EXPECT_TRUE(store.synchronize());
  EXPECT_EQ(readBytes(path), QByteArray("[General]\nautoClearValue=30\nlanguage=1\n"));
}

TEST(PreferenceStoreFileStates, UnreadableFileIsLeftAlone) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path();
  ostrel::test::writeInPlace(path, "[General]\nlanguage=1\n");
  ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
  ostrel::test::WithoutFileAccessOverride asUser;
  ostrel::LogCapture log;
  PreferenceStore store(path);
  ASSERT_EQ(log.lines().size(), 1);
  EXPECT_TRUE(log.lines().first().contains(QLatin1String("cannot be read")));
  EXPECT_TRUE(store.isLeavingFileUntouched());
  EXPECT_EQ(store.integerForKey(prefkeys::language), 0);
}

TEST(PreferenceStoreFileStates, FileSpoiledWhileRunningKeepsTheValuesInUse) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path();
  ostrel::test::writeInPlace(path, "[General]\nlanguage=1\nautoClearValue=30\n");
  PreferenceStore store(path);
  ostrel::LogCapture log;
  const QByteArray spoiled = bytesOf("[General]\nlanguage=1\nauto\xff\xfe");
  ostrel::test::replaceFile(path, spoiled);
  ASSERT_TRUE(ostrel::test::runEventLoopUntil([&] { return store.isLeavingFileUntouched(); }));
  EXPECT_EQ(log.lines().size(), 1);
  EXPECT_EQ(store.integerForKey(prefkeys::language), 1);
  EXPECT_EQ(store.integerForKey(prefkeys::autoClearValue), 30);

  store.setIntegerForKey(prefkeys::autoClearValue, 60);
  runEventLoopFor(200);
  EXPECT_EQ(readBytes(path), spoiled);

  ASSERT_TRUE(store.synchronize());
  EXPECT_EQ(readBytes(path), QByteArray("[General]\nautoClearValue=60\nlanguage=1\n"));
  ASSERT_EQ(backupsBeside(path).size(), 1);
}

}  // namespace
