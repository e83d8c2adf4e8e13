#include "LoginTestFiles.h"
#include "common/Log.h"
#include "loginitem/AutostartList.h"
#include "loginitem/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using ostrel::AutostartItem;
using ostrel::AutostartList;
using namespace ostrel::test;

class AutostartListTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = freshAutostartDirectory(); }
  QString dir;
};

// Restores an environment variable when the test ends.
class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name), set_(qEnvironmentVariableIsSet(name)), value_(qgetenv(name)) {}
  ~EnvGuard() {
    if (set_) qputenv(name_, value_);
    else qunsetenv(name_);
  }

 private:
  const char* name_;
  bool set_;
  QByteArray value_;
};

TEST(AutostartDirectory, FollowsXdgConfigHomeOnlyWhenAbsolute) {
  EnvGuard guard("XDG_CONFIG_HOME");
  const struct {
    const char* label;
    std::optional<QByteArray> value;
    QString want;
  } cases[] = {
      {"absolute", QByteArray("/srv/conf"), "/srv/conf/autostart"},
      {"trailing slash", QByteArray("/srv/conf/"), "/srv/conf/autostart"},
      {"relative is ignored", QByteArray("conf"), QDir::homePath() + "/.config/autostart"},
      {"empty is ignored", QByteArray(""), QDir::homePath() + "/.config/autostart"},
      {"unset", std::nullopt, QDir::homePath() + "/.config/autostart"},
  };
  for (const auto& c : cases) {
    if (c.value) qputenv("XDG_CONFIG_HOME", *c.value);
    else qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(AutostartList::userDirectory(), c.want) << c.label;
  }
}

TEST_F(AutostartListTest, ReadsEveryEntryWithItsProgramAndState) {
  QTemporaryDir tree;
  writeExecutable(tree.filePath("bin/ostrel"), "#!/bin/sh\n");
  const QString real = QFileInfo(tree.filePath("bin/ostrel")).canonicalFilePath();
  const QString link = tree.filePath("link-to-ostrel");
  ASSERT_TRUE(QFile::link(real, link));

  const struct {
    const char* fileId;
    QByteArray contents;
    QString program;  // resolved; empty when it does not resolve
    bool enabled;
  } cases[] = {
      {"a-plain", entryText(real), real, true},
      {"b-hidden", entryText(real, "Hidden=true\n"), real, false},
      {"c-switched-off", entryText(real, "X-GNOME-Autostart-enabled=false\n"), real, false},
      {"d-switched-on", entryText(real, "X-GNOME-Autostart-enabled=true\nHidden=false\n"), real, true},
      {"e-relative", entryText("ostrel"), "", true},
      {"f-malformed", entryText("\"/usr/bin/ostrel"), "", true},
      {"g-no-exec", "[Desktop Entry]\nType=Application\nName=x\n", "", true},
      {"h-symlink", entryText(link), real, true},
      {"i-missing-file", entryText("/nowhere//bin/../bin/ostrel"), "/nowhere/bin/ostrel", true},
      {"j-hidden-in-other-group", entryText(real) + "[Desktop Action x]\nHidden=true\n", real, true},
      {"k-oversized", entryText(real) + QByteArray((1 << 20) + 1, '#'), "", false},
  };
  for (const auto& c : cases) writeFile(dir + "/" + c.fileId + ".desktop", c.contents);
  writeFile(dir + "/not-an-entry.txt", entryText(real));
  writeFile(dir + "/.desktop", entryText(real));
  QDir(dir).mkpath("subdir.desktop");

  const std::vector<AutostartItem> items = AutostartList(dir).items();
  ASSERT_EQ(items.size(), std::size(cases));
  for (size_t i = 0; i < items.size(); ++i) {
    const auto& c = cases[i];
    EXPECT_EQ(items[i].fileId, c.fileId);
    EXPECT_EQ(items[i].filePath, dir + "/" + c.fileId + ".desktop");
    EXPECT_EQ(items[i].program, c.program) << c.fileId;
    EXPECT_EQ(items[i].isEnabled(), c.enabled) << c.fileId;
  }

  // Only resolving entries count, enabled or not, reached through any spelling.
  QStringList matched;
  for (const AutostartItem& item : AutostartList(dir).itemsFor(tree.filePath("bin/../bin/ostrel")))
    matched << item.fileId;
  EXPECT_EQ(matched, QStringList({"a-plain", "b-hidden", "c-switched-off", "d-switched-on", "h-symlink",
                                  "j-hidden-in-other-group"}));
}

TEST_F(AutostartListTest, MissingDirectoryIsAnEmptyList) {
  EXPECT_TRUE(AutostartList(dir).items().empty());
  EXPECT_TRUE(AutostartList(dir + "/deeper").itemsFor("/usr/bin/ostrel").empty());
}

TEST_F(AutostartListTest, WritesAValidEnabledEntryWithReadableRights) {
  const QString program = "/opt/my apps/ostrel";
  const mode_t previous = ::umask(077);
  const bool written = AutostartList(dir).write("VELDOR.Ostrel", "Ostrel", program);
  ::umask(previous);
  ASSERT_TRUE(written);

  const QString path = dir + "/VELDOR.Ostrel.desktop";
  EXPECT_EQ(QFile::permissions(path) & 0x7077,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther)
      << "0644 whatever the umask";
  const auto entry = ostrel::DesktopEntry::parse(readFile(path));
  EXPECT_EQ(entry.value("Type"), "Application");
  EXPECT_EQ(entry.value("Name"), "Ostrel");
  EXPECT_EQ(entry.value("X-GNOME-Autostart-enabled"), "true");
  EXPECT_EQ(ostrel::DesktopEntry::execProgram(entry.value("Exec")), program);

  // Writing again replaces the entry, leaving no temporary file behind.
  ASSERT_TRUE(AutostartList(dir).write("VELDOR.Ostrel", "Ostrel", "/usr/bin/ostrel"));
  EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"VELDOR.Ostrel.desktop"});
  EXPECT_EQ(AutostartList(dir).items().at(0).program, "/usr/bin/ostrel");
}

TEST_F(AutostartListTest, RefusesWhatCannotBeWrittenAndSaysWhy) {
  const struct {
    const char* label;
    QString fileId;
    QString program;
  } cases[] = {
      {"empty file id", "", "/usr/bin/ostrel"},
      {"file id with a slash", "../escape", "/usr/bin/ostrel"},
      {"hidden file id", ".sneaky", "/usr/bin/ostrel"},
      {"relative program", "x", "ostrel"},
      {"equals sign in the program", "x", "/opt/a=b/ostrel"},
      {"control character in the program", "x", QStringLiteral("/opt/a") + QChar(0x02)},
  };
  for (const auto& c : cases) {
    ostrel::LogCapture capture;
    EXPECT_FALSE(AutostartList(dir).write(c.fileId, "x", c.program)) << c.label;
    ASSERT_EQ(capture.lines().size(), 1) << c.label;
    EXPECT_TRUE(capture.lines().at(0).contains("not written")) << capture.lines().at(0).toStdString();
  }
  EXPECT_TRUE(AutostartList(dir).items().empty());
  EXPECT_FALSE(QFileInfo::exists(QFileInfo(dir).absolutePath() + "/escape.desktop"));
}

TEST_F(AutostartListTest, RemovingAnAbsentEntryCountsAsDone) {
  const AutostartList list(dir);
  ASSERT_TRUE(list.write("x", "x", "/usr/bin/ostrel"));
  EXPECT_TRUE(list.remove(list.filePathFor("x")));
  EXPECT_FALSE(QFileInfo::exists(list.filePathFor("x")));
  EXPECT_TRUE(list.remove(list.filePathFor("x")));
}

}  // namespace
