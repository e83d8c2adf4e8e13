#include "LoginTestFiles.h"
#include "loginitem/DesktopEntry.h"
#include "loginitem/InstallLayout.h"
#include "loginitem/LoginItemController.h"
#include "loginitem/StartAtLogin.h"
#include "loginitem/StartAtLoginSwitch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using ostrel::AutostartItem;
using ostrel::AutostartList;
using ostrel::InstallLayout;
using ostrel::LoginItemController;
using ostrel::LoginJobs;
using ostrel::StartAtLogin;
using ostrel::StartAtLoginSwitch;
using namespace ostrel::test;

// An installed tree: PREFIX/bin/ostrel and the helper where the install rules
// put it. Paths are canonical, as the running program sees its own.
class StartAtLoginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = freshAutostartDirectory();
    ASSERT_TRUE(tree.isValid());
    const QString root = QFileInfo(tree.path()).canonicalFilePath() + "/my prefix";
    ostrel = root + "/bin/ostrel";
    helper = QDir::cleanPath(root + "/bin/" + InstallLayout::helperDirFromBin() + "/ostrelkick");
    writeExecutable(ostrel, "#!/bin/sh\n");
    writeExecutable(helper, "#!/bin/sh\n");
  }

  StartAtLogin delegate() const { return StartAtLogin(ostrel, LoginJobs::forExecutable(ostrel)); }

  QStringList entriesFor(const QString& program) const {
    QStringList ids;
    for (const AutostartItem& item : AutostartList(dir).itemsFor(program)) ids << item.fileId;
    return ids;
  }

  QTemporaryDir tree;
  QString dir;
  QString ostrel;
  QString helper;
};

TEST_F(StartAtLoginTest, AddingTwiceListsOnce) {
  StartAtLogin d = delegate();
  EXPECT_FALSE(d.isStartAtLogin());
  EXPECT_TRUE(d.setStartAtLogin(true));
  EXPECT_TRUE(d.isStartAtLogin());
  EXPECT_FALSE(d.setStartAtLogin(true)) << "already listed: no change";
  EXPECT_EQ(entriesFor(ostrel), QStringList{"VELDOR.Ostrel"});
  const auto entry = ostrel::DesktopEntry::parse(readFile(dir + "/VELDOR.Ostrel.desktop"));
  EXPECT_EQ(entry.value("Name"), "Ostrel");
  EXPECT_EQ(ostrel::DesktopEntry::execProgram(entry.value("Exec")), ostrel) << "the prefix holds a space";
}

TEST_F(StartAtLoginTest, RemovingRemovesEveryMatchingEntryAndNothingElse) {
  const QString viaLink = tree.filePath("ostrel-link");
  ASSERT_TRUE(QFile::link(ostrel, viaLink));
  writeFile(dir + "/a.desktop", entryFor(ostrel));
  writeFile(dir + "/b.desktop", entryFor(viaLink));
  writeFile(dir + "/c.desktop", entryFor(ostrel, "Hidden=true\n"));
  writeFile(dir + "/other.desktop", entryText("/usr/bin/true"));
  writeFile(dir + "/relative.desktop", entryText("ostrel"));
  writeFile(dir + "/broken.desktop", entryText("\"" + ostrel));

  StartAtLogin d = delegate();
  EXPECT_TRUE(d.setStartAtLogin(false));
  EXPECT_TRUE(entriesFor(ostrel).isEmpty());
  EXPECT_EQ(QDir(dir).entryList(QDir::Files),
            QStringList({"broken.desktop", "other.desktop", "relative.desktop"}));
  EXPECT_FALSE(d.setStartAtLogin(false)) << "nothing left to remove";
}

TEST_F(StartAtLoginTest, SwitchedOffEntryIsNotStartingAndIsRewrittenInPlace) {
  const struct {
    const char* label;
    QByteArray extra;
  } cases[] = {{"hidden", "Hidden=true\n"}, {"switched off", "X-GNOME-Autostart-enabled=false\n"}};
  for (const auto& c : cases) {
    dir = freshAutostartDirectory();
    writeFile(dir + "/VELDOR.Ostrel.desktop", entryFor(ostrel, c.extra));
    StartAtLogin d = delegate();
    EXPECT_FALSE(d.isStartAtLogin()) << c.label;
    EXPECT_TRUE(d.setStartAtLogin(true)) << c.label;
    EXPECT_TRUE(d.isStartAtLogin()) << c.label;
    EXPECT_EQ(entriesFor(ostrel), QStringList{"VELDOR.Ostrel"}) << c.label;
  }
}

TEST_F(StartAtLoginTest, ForeignEntryUnderOurNameIsLeftAlone) {
  const QByteArray foreign = entryText("/usr/bin/someone-else");
  writeFile(dir + "/VELDOR.Ostrel.desktop", foreign);
  writeFile(dir + "/VELDOR.Ostrel-2.desktop", "not a desktop entry at all");
  StartAtLogin d = delegate();
  EXPECT_TRUE(d.setStartAtLogin(true));
  EXPECT_EQ(readFile(dir + "/VELDOR.Ostrel.desktop"), foreign);
  EXPECT_EQ(readFile(dir + "/VELDOR.Ostrel-2.desktop"), "not a desktop entry at all");
  EXPECT_EQ(entriesFor(ostrel), QStringList{"VELDOR.Ostrel-3"});
}

TEST_F(StartAtLoginTest, HelperRegistrationWritesItsEntryAndReportsSuccess) {
  StartAtLogin d = delegate();
  EXPECT_TRUE(d.setStartAtLogin2(true));
  const QString path = dir + "/VELDOR.Ostrelkick.desktop";
  const auto entry = ostrel::DesktopEntry::parse(readFile(path));
  EXPECT_EQ(ostrel::DesktopEntry::execProgram(entry.value("Exec")), helper);
  EXPECT_EQ(entry.value("Name"), "Ostrelkick");
  EXPECT_FALSE(d.isStartAtLogin()) << "the helper's entry is not Ostrel's own";

  EXPECT_TRUE(d.setStartAtLogin2(false)) << "answers whether the switch succeeded, not the new state";
  EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(StartAtLoginTest, HelperRegistrationFailsWithoutAnInstalledHelper) {
  ASSERT_TRUE(QFile::remove(helper));
  StartAtLogin d = delegate();
  EXPECT_FALSE(d.setStartAtLogin2(true));
  EXPECT_TRUE(QDir(dir).entryList(QDir::Files).isEmpty());
}

// The class-side query reports VELDOR.testHelper, never the VELDOR.Ostrelkick
// item that setStartAtLogin2 switches. Callers must not take one for the other.
TEST_F(StartAtLoginTest, ClassSideQueryAnswersForTestHelperNotForOstrelkick) {
  StartAtLogin d = delegate();
  const LoginJobs jobs = LoginJobs::forExecutable(ostrel);
  ASSERT_TRUE(d.setStartAtLogin2(true));
  EXPECT_TRUE(LoginItemController::initWithIdentifier("VELDOR.Ostrelkick", jobs)->startAtLogin());
  EXPECT_FALSE(StartAtLogin::isStartAtLogin(jobs)) << "Ostrelkick is registered, yet the class side says no";

  writeFile(dir + "/VELDOR.testHelper.desktop", entryText("/usr/bin/true"));
  ASSERT_TRUE(d.setStartAtLogin2(false));
  EXPECT_TRUE(StartAtLogin::isStartAtLogin(jobs)) << "the class side follows testHelper alone";
}

// The switch the menus, ostrelctl and the bus share: on by either way in,
// whoever made the entry; on registers the helper once, off removes both.
TEST_F(StartAtLoginTest, SwitchIsOnWhenEitherEntryStartsOstrel) {
  const struct {
    const char* label;
    QString file;
    QByteArray contents;
    bool on;
  } cases[] = {
      {"nothing", {}, {}, false},
      {"helper registered by hand", "VELDOR.Ostrelkick.desktop", entryFor(helper), true},
      {"helper entry hidden", "VELDOR.Ostrelkick.desktop", entryFor(helper, "Hidden=true\n"), false},
      {"Ostrel's own entry", "mine.desktop", entryFor(ostrel), true},
      {"another program", "other.desktop", entryText("/usr/bin/true"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    dir = freshAutostartDirectory();
    if (!c.file.isEmpty()) writeFile(dir + "/" + c.file, c.contents);
    EXPECT_EQ(StartAtLoginSwitch::forExecutable(ostrel).isOn(), c.on);
  }
}

TEST_F(StartAtLoginTest, SwitchRegistersTheHelperOnceAndRemovesEveryWayIn) {
  StartAtLoginSwitch sw = StartAtLoginSwitch::forExecutable(ostrel);
  const QString own = dir + "/VELDOR.Ostrel.desktop";
  writeFile(own, entryFor(ostrel));
  EXPECT_TRUE(sw.setOn(true).on);
  EXPECT_TRUE(entriesFor(helper).isEmpty()) << "already on: a second way in would start Ostrel twice";
  ASSERT_TRUE(QFile::remove(own));
  EXPECT_TRUE(sw.setOn(true).succeeded());
  EXPECT_TRUE(sw.setOn(true).on);
  EXPECT_EQ(entriesFor(helper), QStringList{"VELDOR.Ostrelkick"});
  writeFile(own, entryFor(ostrel));
  writeFile(dir + "/other.desktop", entryText("/usr/bin/true"));
  const StartAtLoginSwitch::Outcome off = sw.setOn(false);
  EXPECT_TRUE(off.succeeded() && !off.on) << off.error.toStdString();
  EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"other.desktop"});
}

TEST_F(StartAtLoginTest, SwitchSaysWhyItDidNotTake) {
  ASSERT_TRUE(QFile::remove(helper));
  StartAtLoginSwitch::Outcome outcome = StartAtLoginSwitch::forExecutable(ostrel).setOn(true);
  EXPECT_FALSE(outcome.on);
  EXPECT_EQ(outcome.error,
            "start at login could not be switched on: the login helper ostrelkick is not installed "
            "beside " +
                ostrel);
  writeExecutable(helper, "#!/bin/sh\n");
  writeFile(dir, "a file where the autostart directory belongs");  // even root cannot write there
  outcome = StartAtLoginSwitch::forExecutable(ostrel).setOn(true);
  EXPECT_FALSE(outcome.on);
  EXPECT_EQ(outcome.error,
            "start at login could not be switched on: " + dir + "/VELDOR.Ostrelkick.desktop could not be written");
  QFile::remove(dir);
}

}  // namespace
