// The Start at Login item of the Ostrel menu, against the real autostart list
// in the test's own XDG_CONFIG_HOME: checked from the list each time the menu
// opens, whoever changed it, and switching start at login when picked.
#include "MainWindowHarness.h"
#include "app/StartAtLoginItems.h"
#include "common/Log.h"
#include "loginitem/AutostartList.h"
#include "loginitem/StartAtLoginSwitch.h"
#include "support/EventLoopWait.h"
#include "support/OstrelProcess.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <QWindow>

namespace ostrel::test {
namespace {

void writeFile(const QString& path, const QByteArray& contents, QFileDevice::Permissions extra = {}) {
  ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(contents), contents.size());
  file.setPermissions(file.permissions() | extra);
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An autostart entry as a person or the desktop's settings would write it.
QByteArray entryFor(const QString& program, const QByteArray& extraLines = {}) {
  return "[Desktop Entry]\nType=Application\nName=Test\nExec=" + program.toUtf8() + "\n" + extraLines;
}

class StartAtLoginMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetProcessState();
    // run-test.sh gives every test a configuration directory of its own.
    dir = AutostartList::userDirectory();
    ASSERT_TRUE(dir.startsWith(qEnvironmentVariable("OSTREL_TEST_SCRATCH") + QLatin1Char('/')));
    QDir(dir).removeRecursively();
    ASSERT_TRUE(tree.isValid());
    ostrel = QFileInfo(tree.path()).canonicalFilePath() + QStringLiteral("/bin/ostrel");
    helper = QFileInfo(ostrel).path() + QStringLiteral("/ostrelkick");
    writeFile(ostrel, "#!/bin/sh\n", QFileDevice::ExeOwner);
    writeFile(helper, "#!/bin/sh\n", QFileDevice::ExeOwner);
    window = std::make_unique<LoadedWindow>();
    items = std::make_unique<StartAtLoginItems>(StartAtLoginSwitch::forExecutable(ostrel));
    items->add(item(), menu());
    (*window)->window()->show();
  }
  void TearDown() override {
    items.reset();
    window.reset();
  }

  QMenu* menu() const { return (*window)->ostrelMenu(); }
  QAction* item() const { return (*window)->startAtLoginAction(); }

  // Opens the menu as a click on its title would; false when it did not show.
  bool openMenu() {
    menu()->popup((*window)->window()->mapToGlobal(QPoint(0, 0)));
    return runEventLoopUntil([this] { return menu()->windowHandle() && menu()->windowHandle()->isExposed(); }, 10000);
  }
  // Picks the item with its mnemonic, as a person at the keyboard would.
  bool pickItem() {
    return openMenu() && xdotool({QStringLiteral("key"), QStringLiteral("l")}) &&
           runEventLoopUntil([this] { return !menu()->isVisible(); }, 10000);
  }

  QTemporaryDir tree;
  QString dir;
  QString ostrel;
  QString helper;
  std::unique_ptr<LoadedWindow> window;
  std::unique_ptr<StartAtLoginItems> items;
};

TEST_F(StartAtLoginMenuTest, TheCheckFollowsTheAutostartListEachTimeTheMenuOpens) {
  const struct {
    const char* label;
    const char* file;
    QByteArray contents;
    bool checked;
  } cases[] = {
      {"the helper's entry, written by hand", "VELDOR.Ostrelkick.desktop", entryFor(helper), true},
      {"nothing", nullptr, {}, false},
      {"Ostrel's own entry", "VELDOR.Ostrel.desktop", entryFor(ostrel), true},
      {"the helper's entry, switched off in the desktop's settings", "VELDOR.Ostrelkick.desktop",
       entryFor(helper, "X-GNOME-Autostart-enabled=false\n"), false},
      {"another program's entry", "other.desktop", entryFor(QStringLiteral("/usr/bin/true")), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    QDir(dir).removeRecursively();
    if (c.file) writeFile(dir + QLatin1Char('/') + QLatin1String(c.file), c.contents);
    ASSERT_TRUE(openMenu());
    EXPECT_EQ(item()->isChecked(), c.checked);
    menu()->hide();
  }
}

TEST_F(StartAtLoginMenuTest, PickingTheItemSwitchesStartAtLoginAndShowsWhatTookEffect) {
  const QString kick = dir + QStringLiteral("/VELDOR.Ostrelkick.desktop");
  ASSERT_TRUE(pickItem());
  ASSERT_TRUE(runEventLoopUntil([&] { return QFileInfo::exists(kick); }, 5000)) << "Ostrelkick was not registered";
  EXPECT_TRUE(readFile(kick).contains(QByteArray("Exec=" + helper.toUtf8() + "\n")));
  EXPECT_TRUE(item()->isChecked());

  // Both ways in go when it is switched off.
  writeFile(dir + QStringLiteral("/VELDOR.Ostrel.desktop"), entryFor(ostrel));
  ASSERT_TRUE(pickItem());
  ASSERT_TRUE(runEventLoopUntil([&] { return QDir(dir).isEmpty(); }, 5000))
      << QDir(dir).entryList().join(' ').toStdString();
  EXPECT_FALSE(item()->isChecked());

  // A switch that cannot take leaves the check as things are, and says why.
  ASSERT_TRUE(QFile::remove(helper));
  LogCapture log;
  ASSERT_TRUE(pickItem());
  const QString why = QStringLiteral(
                          "Start at Login: start at login could not be switched on: the login helper ostrelkick is "
                          "not installed beside ") +
                      ostrel;
  ASSERT_TRUE(runEventLoopUntil([&] { return log.count(why) == 1; }, 5000)) << log.lines().join('\n').toStdString();
  EXPECT_FALSE(item()->isChecked());
  EXPECT_TRUE(QDir(dir).isEmpty());
}

}  // namespace
}  // namespace ostrel::test
