// The settings window's part about the desktop: what serves the shortcuts
// and the monitor's input and what to do, in both languages; adding the
// shortcuts to GNOME's custom shortcuts (the real GSettings with GNOME's
// schema, keyfile backend) and removing them; a compositor's lines and their
// copy. The desktop's state is what PlatformServices would set there.

#include "GnomeTestSettings.h"
#include "SettingsWindowFixture.h"
#include "common/DesktopServices.h"
#include "keybindings/CompositorKeybindings.h"
#include "keybindings/GnomeShortcutsKeeper.h"
#include "platform/gnome/GSettingsCustomShortcutStore.h"
#include "settings/ProgramValues.h"
#include "settings/window/DesktopKeybindingsPanel.h"
#include "shortcuts/KivShortcut.h"
#include "shortcuts/view/KivShortcutView.h"
#include "support/ChildProcess.h"
#include "support/EventLoopWait.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace ostrel {
namespace {

using test::SettingsWindowTest;
using namespace test;

const QString kRefresh = kCustomFolder + QStringLiteral("ostrel-refresh/");

std::unique_ptr<GnomeShortcutsKeeper> gnomeKeeper(const QString& ostrelctl) {
  QString why;
  auto store = platform::gnome::GSettingsCustomShortcutStore::create(&why);
  EXPECT_TRUE(store) << why.toStdString();
  if (!store) return nullptr;
  return std::make_unique<GnomeShortcutsKeeper>(std::move(store), ostrelctl,
                                                QStringLiteral("GNOME 43.9 has no GlobalShortcuts portal of its own"));
}

// The size the window settles at: a change of texts (a click, the language)
// relays it out from the event loop.
QSize settledSize(QWidget* view) {
  runEventLoopFor(100);
  return view->size();
}

void chooseLanguage(TestSecondView* view, int index) {
  view->currentLanguageInfo()->setCurrentIndex(index);
  view->setCurrentLanguage();
}

class DesktopKeybindingsPanelTest : public SettingsWindowTest {
 protected:
  void SetUp() override {
    SettingsWindowTest::SetUp();
    ASSERT_EQ(qEnvironmentVariable("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
    resetGnomeSettings();
    DesktopServices::shared().reset();
  }
  void TearDown() override {
    SettingsWindowTest::TearDown();
    keeper.reset();
    DesktopServices::shared().reset();
  }
  std::unique_ptr<GnomeShortcutsKeeper> keeper;
};

TEST_F(DesktopKeybindingsPanelTest, GnomeWithoutPortalAddsTheShortcutsAtOnceAndTakesThemOutAgain) {
  keeper = gnomeKeeper(buildProgram(QStringLiteral("ostrelctl")));
  ASSERT_TRUE(keeper);
  DesktopServices::shared().setState(DesktopService::Input,
                                     {QStringLiteral("portal"), QStringLiteral("RemoteDesktop")});
  CurrentLanguage = 1;
  TestSecondView* view = open();
  DesktopKeybindingsPanel* panel = view->desktopKeybindingsPanel();
  ASSERT_TRUE(panel->gnomeSection()->isVisible());
  EXPECT_FALSE(panel->keybindingsSection()->isVisible());
  EXPECT_EQ(panel->serviceLines()->text(),
            QStringLiteral("Shortcuts: nothing on this desktop. Add them to GNOME's keyboard shortcuts with the "
                           "button below.\n"
                           "Monitor keys and pointer: the desktop's RemoteDesktop portal. Allow it when the desktop "
                           "asks, as a monitor connects."));
  EXPECT_EQ(panel->gnomeLines()->text(), QStringLiteral("Fast Refresh: not in GNOME's shortcuts\n"
                                                        "Contrast Up: not in GNOME's shortcuts\n"
                                                        "Contrast Down: not in GNOME's shortcuts"));
  EXPECT_FALSE(panel->gnomeRemoveButton()->isEnabled());
  EXPECT_EQ(panel->gnomeAddButton()->text(), QStringLiteral("Add to GNOME"));

  QTest::mouseClick(panel->gnomeAddButton(), Qt::LeftButton);
  // Written at once, before OK, as another program sees it.
  EXPECT_EQ(customPaths().size(), 3);
  EXPECT_EQ(entryValue(kRefresh, QStringLiteral("binding")), QStringLiteral("<Control>d"));
  EXPECT_EQ(entryValue(kRefresh, QStringLiteral("name")), QStringLiteral("Ostrel: Fast Refresh"));
  EXPECT_EQ(panel->gnomeLines()->text(),
            QStringLiteral("Fast Refresh: Ctrl+D\nContrast Up: Ctrl+U\nContrast Down: Ctrl+P"));
  EXPECT_TRUE(panel->serviceLines()->text().startsWith(
      QStringLiteral("Shortcuts: GNOME's custom shortcuts run ostrelctl.\nMonitor keys")))
      << panel->serviceLines()->text().toStdString();
  EXPECT_TRUE(panel->gnomeRemoveButton()->isEnabled());
  EXPECT_FALSE(panel->gnomeOutcome()->isVisible());
  const QSize english = settledSize(view);
  saveScreenshot(view, QStringLiteral("settings-gnome-english"));
  chooseLanguage(view, 0);
  EXPECT_EQ(settledSize(view), english) << "switching the language does not resize the window";
  EXPECT_EQ(panel->gnomeLines()->text(), QStringLiteral("快速刷新：Ctrl+D\n对比度增加：Ctrl+U\n对比度减小：Ctrl+P"));
  EXPECT_EQ(panel->gnomeAddButton()->text(), QStringLiteral("添加到 GNOME"));
  saveScreenshot(view, QStringLiteral("settings-gnome-chinese"));

  // OK with another key: GNOME's entry follows, in the language chosen.
  view->refreshHotCutView()->setShortcutValue(KivShortcut::shortcutWithKeyCode(15, 0x40000 | 0x80000));
  view->buttonOK()->click();
  ASSERT_TRUE(waitUntilClosed());
  EXPECT_EQ(entryValue(kRefresh, QStringLiteral("binding")), QStringLiteral("<Control><Alt>r"));
  EXPECT_EQ(entryValue(kRefresh, QStringLiteral("name")), QStringLiteral("Ostrel：快速刷新"));

  view = open();
  panel = view->desktopKeybindingsPanel();
  QTest::mouseClick(panel->gnomeRemoveButton(), Qt::LeftButton);
  EXPECT_TRUE(customPaths().isEmpty());
  EXPECT_EQ(entryValue(kRefresh, QStringLiteral("binding")), QString());
  EXPECT_EQ(panel->gnomeLines()->text().count(QStringLiteral("不在 GNOME 快捷键中")), 3);
  EXPECT_FALSE(panel->gnomeRemoveButton()->isEnabled());
}

TEST_F(DesktopKeybindingsPanelTest, AFailureSaysWhyInTheWindowsLanguage) {
  keeper = gnomeKeeper(QStringLiteral("/nowhere/bin/ostrelctl"));
  ASSERT_TRUE(keeper);
  CurrentLanguage = 1;
  TestSecondView* view = open();
  DesktopKeybindingsPanel* panel = view->desktopKeybindingsPanel();
  QTest::mouseClick(panel->gnomeAddButton(), Qt::LeftButton);
  EXPECT_TRUE(panel->gnomeOutcome()->isVisible());
  EXPECT_EQ(panel->gnomeOutcome()->text(),
            QStringLiteral("GNOME's shortcuts were not changed: /nowhere/bin/ostrelctl is missing: ostrelctl is not "
                           "installed beside Ostrel"));
  EXPECT_TRUE(customPaths().isEmpty());
  const QSize english = settledSize(view);
  chooseLanguage(view, 0);
  EXPECT_TRUE(panel->gnomeOutcome()->text().startsWith(QStringLiteral("GNOME 快捷键未更改：")));
  EXPECT_EQ(settledSize(view), english);
}

TEST_F(DesktopKeybindingsPanelTest, ACompositorWithoutPortalGetsItsLinesToCopy) {
  DesktopServices::shared().setState(DesktopService::Shortcuts,
                                     {QString(), QStringLiteral("the desktop offers no GlobalShortcuts portal")});
  DesktopServices::shared().setOwnKeybindings(QStringLiteral("sway"));
  RefreshHotkeyKeyCode = 15;
  RefreshHotkeyModifierFlags = 0x100000 | 0x20000;
  TestSecondView* view = open();
  DesktopKeybindingsPanel* panel = view->desktopKeybindingsPanel();
  ASSERT_TRUE(panel->keybindingsSection()->isVisible());
  EXPECT_FALSE(panel->gnomeSection()->isVisible());
  const QString ostrelctl = buildProgram(QStringLiteral("ostrelctl"));
  EXPECT_EQ(panel->keybindingsText()->toPlainText(),
            QStringLiteral("bindsym Shift+Mod4+r exec %1 refresh\nbindsym Ctrl+u exec %1 contrast up\n"
                           "bindsym Ctrl+p exec %1 contrast down\n")
                .arg(ostrelctl));
  EXPECT_EQ(panel->serviceLines()->text().section(QLatin1Char('\n'), 0, 0),
            QStringLiteral("快捷键：此桌面上没有。请将下面几行粘贴到 ~/.config/sway/config 并重新加载。"));
  const QSize chinese = settledSize(view);
  saveScreenshot(view, QStringLiteral("settings-sway-chinese"));
  chooseLanguage(view, 1);
  EXPECT_EQ(settledSize(view), chinese);
  EXPECT_EQ(panel->serviceLines()->text().section(QLatin1Char('\n'), 0, 0),
            QStringLiteral("Shortcuts: nothing on this desktop. Paste the lines below into ~/.config/sway/config and "
                           "reload it."));
  QTest::mouseClick(panel->copyButton(), Qt::LeftButton);
  EXPECT_EQ(QApplication::clipboard()->text(), panel->keybindingsText()->toPlainText());
  EXPECT_EQ(panel->copiedNote()->text(), QStringLiteral("Copied."));
  EXPECT_EQ(settledSize(view), chinese);
  EXPECT_GE(panel->copiedNote()->width(), panel->copiedNote()->sizeHint().width());
  saveScreenshot(view, QStringLiteral("settings-sway-english"));
  // What ostrelctl prints for sway is the same text.
  ChildProcess ctl;
  QString error;
  ASSERT_TRUE(ctl.start(ostrelctl, {QStringLiteral("keybindings"), QStringLiteral("sway")}, &error));
  ASSERT_TRUE(ctl.waitForExit(std::chrono::seconds(30)));
  ctl.waitForEndOfStreams(std::chrono::seconds(5));
  QString printed;
  for (const StampedLine& l : ctl.lines(ChildStream::Output)) printed += QString::fromUtf8(l.text) + '\n';
  // The window shows the values in force; ostrelctl reads them from the file,
  // where this test did not store them.
  EXPECT_EQ(printed.section('\n', 1), panel->keybindingsText()->toPlainText().section('\n', 1));
}

TEST_F(DesktopKeybindingsPanelTest, OnX11NothingIsAskedOfTheUser) {
  DesktopServices::shared().setState(DesktopService::Shortcuts, {QStringLiteral("x11"), QStringLiteral("XInput2")});
  DesktopServices::shared().setState(DesktopService::Input, {QStringLiteral("x11"), QStringLiteral("XTest")});
  CurrentLanguage = 1;
  TestSecondView* view = open();
  DesktopKeybindingsPanel* panel = view->desktopKeybindingsPanel();
  EXPECT_EQ(panel->serviceLines()->text(),
            QStringLiteral("Shortcuts: Ostrel watches the keys (X11).\nMonitor keys and pointer: XTest (X11)."));
  EXPECT_FALSE(panel->gnomeSection()->isVisible());
  EXPECT_FALSE(panel->keybindingsSection()->isVisible());
}

}  // namespace
}  // namespace ostrel
