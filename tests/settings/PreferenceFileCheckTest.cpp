#include "settings/PreferenceFileCheck.h"

#include "SettingsTestFiles.h"
#include "WithoutFileAccessOverride.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QVariantMap>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using ostrel::iniTextProblem;
using ostrel::preferenceFileProblem;

struct TextCase {
  const char* label;
  QByteArray text;
  bool usable;
  const char* reasonPart;  // a word the reason must contain when unusable
};

TEST(PreferenceFileCheck, IniTextTable) {
  const TextCase cases[] = {
      {"empty file", "", true, ""},
      {"what QSettings writes", "[General]\nlanguage=1\nautoClearValue=30\n", true, ""},
      {"comments and blank lines", "; note\n# note\n\n[General]\nlanguage = 1\n", true, ""},
      {"CRLF line ends", "[General]\r\nlanguage=1\r\n", true, ""},
      {"no trailing newline", "[General]\nlanguage=1", true, ""},
      {"a list value", "[General]\nlanguage=a, b\n", true, ""},
      {"escaped quote inside quotes", "[General]\nk=\"a\\\"b\"\n", true, ""},
      {"UTF-8 text", "[General]\nname=\xe6\xb1\x89\xe8\xaf\xad\n", true, ""},
      {"binary garbage", QByteArray("\x00\xff\xfe\x13\x88garbage\x01\x02 =\n\xc3(", 16), false, "UTF-8"},
      {"a NUL byte in valid UTF-8", QByteArray("[General]\nlanguage=1\0\n", 22), false, "control"},
      {"line cut short (no =)", "[General]\nlanguage=1\nrefresh_hot_key", false, "line 3"},
      {"section header cut short", "[General]\nlanguage=1\n[Gene", false, "section"},
      {"empty section header", "[]\nlanguage=1\n", false, "section"},
      {"quoted value cut short", "[General]\nlanguage=\"1", false, "quoted"},
      {"value without key", "[General]\n=5\n", false, "key"},
      {"escape character", "[General]\nlanguage=\x1b[1m\n", false, "control"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.label);
    const std::optional<QString> problem = iniTextProblem(c.text);
    EXPECT_EQ(!problem.has_value(), c.usable) << (problem ? problem->toStdString() : "");
    if (problem) {
      EXPECT_TRUE(problem->contains(QLatin1String(c.reasonPart))) << problem->toStdString();
    }
  }
}

// Whatever QSettings itself writes must pass the check, or Ostrel would set its
// own files aside.
TEST(PreferenceFileCheck, AcceptsEverythingQSettingsWrites) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path();
  {
    QSettings s(path, QSettings::NativeFormat);
    s.setValue("language", 1);
    s.setValue("negative", -5);
    s.setValue("text with \"quotes\" and, commas", QStringLiteral("a \"quoted\" text, with = and ; and #"));
    s.setValue("multi line", QStringLiteral("line 1\nline 2\ttab"));
    s.setValue("control", QStringLiteral("bell\a escape\x1b"));
    s.setValue("chinese", QStringLiteral("快速刷新热键"));
    s.setValue("list", QStringList{QStringLiteral("a"), QStringLiteral("b, c")});
    s.setValue("bytes", QByteArray("\x00\x22\xff\n\"KVSC", 10));
    s.setValue("map", QVariantMap{{QStringLiteral("keyCode"), 2u}, {QStringLiteral("modifierFlags"), 262144ull}});
    s.setValue("group/inner", true);
    s.setValue("empty", QString());
    s.sync();
    ASSERT_EQ(s.status(), QSettings::NoError);
  }
  const std::optional<QString> problem = preferenceFileProblem(path);
  EXPECT_FALSE(problem.has_value()) << problem->toStdString() << "\n" << ostrel::test::readBytes(path).toStdString();
}

TEST(PreferenceFileCheck, FileKinds) {
  ostrel::test::SettingsFolder folder;
  const QString absent = folder.path(QStringLiteral("absent.conf"));
  const QString dir = folder.path(QStringLiteral("dir.conf"));
  ASSERT_TRUE(QDir().mkpath(dir));
  const QString fifo = folder.path(QStringLiteral("fifo.conf"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString dangling = folder.path(QStringLiteral("dangling.conf"));
  ASSERT_TRUE(QFile::link(folder.path(QStringLiteral("nowhere")), dangling));
  const QString good = folder.path(QStringLiteral("good.conf"));
  ostrel::test::writeInPlace(good, "[General]\nlanguage=1\n");
  const QString viaLink = folder.path(QStringLiteral("link.conf"));
  ASSERT_TRUE(QFile::link(good, viaLink));

  struct Case {
    const char* label;
    QString path;
    bool usable;
    const char* reasonPart;
  };
  const Case cases[] = {
      {"absent file", absent, true, ""},
      {"regular file", good, true, ""},
      {"symbolic link to a good file", viaLink, true, ""},
      {"directory", dir, false, "directory"},
      {"FIFO (must not block)", fifo, false, "regular"},
      {"dangling link", dangling, false, "dangling"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::optional<QString> problem = preferenceFileProblem(c.path);
    EXPECT_EQ(!problem.has_value(), c.usable);
    if (problem) {
      EXPECT_TRUE(problem->contains(QLatin1String(c.reasonPart))) << problem->toStdString();
    }
  }
}

TEST(PreferenceFileCheck, UnreadableFile) {
  ostrel::test::SettingsFolder folder;
  const QString path = folder.path();
  ostrel::test::writeInPlace(path, "[General]\nlanguage=1\n");
  ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
  ostrel::test::WithoutFileAccessOverride asUser;
  const std::optional<QString> problem = preferenceFileProblem(path);
  ASSERT_TRUE(problem.has_value());
  EXPECT_TRUE(problem->contains(QLatin1String("cannot be read"))) << problem->toStdString();
}

}  // namespace
