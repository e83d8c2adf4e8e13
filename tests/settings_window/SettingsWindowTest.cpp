// The settings window against the real preference file and the real main
// window: what it opens with, what OK stores and applies, what Exit drops, and
// that no way of dismissing it ends Ostrel.

#include "SettingsWindowFixture.h"
#include "common/AutoClearStatus.h"
#include "common/DesktopServices.h"
#include "settings/window/DesktopShortcutNotes.h"
#include "mainwindow/MainWindowTexts.h"
#include "mainwindow/PageTurnRefresh.h"
#include "mainwindow/ViewController.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"
#include "shortcuts/view/KivShortcutView.h"
#include "support/EventLoopWait.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <limits>

namespace ostrel {
namespace {

using test::SettingsWindowTest;

constexpr quint64 kShift = 0x20000;
constexpr quint64 kControl = 0x40000;

QString refreshSent() {
  return QStringLiteral("sendCommand****** command = 3, optional = 1");
}

TEST_F(SettingsWindowTest, OpensWithTheStoredAndProgramWideValues) {
  store(QStringLiteral("autoClearCheckValue"), 1);
  store(QStringLiteral("autoClearValue"), 30);
  store(QStringLiteral("autoStart"), 1);
  RefreshHotkeyKeyCode = 15;
  RefreshHotkeyModifierFlags = kControl | kShift;
  ThresholdInfoHotkeyKeyCode = 32;
  ThresholdInfoHotkeyModifierFlags = kControl;

  TestSecondView* view = open();

  const QStringList expectedLog{QStringLiteral("TestSecondView viewDidLoad"), QStringLiteral("autoClearCheckValue = 1"),
                                QStringLiteral("autoClearCheckValue = 30"), QStringLiteral("autoClearCheckValue = 1")};
  EXPECT_EQ(log->lines().mid(0, 4), expectedLog);
  EXPECT_EQ(view->currentLanguageInfo()->count(), 2);
  EXPECT_EQ(view->currentLanguageInfo()->itemText(0), QStringLiteral("汉语"));
  EXPECT_EQ(view->currentLanguageInfo()->itemText(1), QStringLiteral("English"));
  EXPECT_EQ(view->currentLanguageInfo()->currentIndex(), 0);
  EXPECT_EQ(view->refreshHotKey()->text(), QStringLiteral("快速刷新热键"));
  EXPECT_EQ(view->buttonOK()->text(), QStringLiteral("生效"));
  EXPECT_TRUE(view->autoRefreshCheck()->isChecked());
  EXPECT_EQ(view->autoRefreshValue()->text(), QStringLiteral("30"));
  EXPECT_TRUE(view->autoRefreshValue()->isEnabled());
  EXPECT_EQ(view->autoRefreshValue()->palette().color(QPalette::Base), QColor(Qt::white));
  EXPECT_TRUE(view->autoUnit()->isEnabled());
  EXPECT_TRUE(view->autoStartCheck()->isChecked());
  EXPECT_FALSE(view->autoStartCheck()->isVisible());
  EXPECT_EQ(view->refreshHotCutView()->shortcutValue(), KivShortcut(15, kControl | kShift));
  EXPECT_EQ(view->thresholdInfocutView()->shortcutValue(), KivShortcut(32, kControl));
  EXPECT_EQ(view->thresholdDownInfocutView()->shortcutValue(), std::nullopt) << "nothing chosen shows empty";
  EXPECT_EQ(view->windowModality(), Qt::WindowModal);
}

TEST_F(SettingsWindowTest, TheCheckBoxEnablesThePeriodAndResetsItToTheOpeningValue) {
  store(QStringLiteral("autoClearValue"), 30);
  TestSecondView* view = open();
  EXPECT_FALSE(view->autoRefreshValue()->isEnabled());
  EXPECT_FALSE(view->autoUnit()->isEnabled());
  EXPECT_EQ(view->autoRefreshValue()->palette().color(QPalette::Base), QColor(Qt::gray));

  QTest::mouseClick(view->autoRefreshCheck(), Qt::LeftButton);
  EXPECT_TRUE(view->autoRefreshValue()->isEnabled());
  EXPECT_EQ(view->autoRefreshValue()->palette().color(QPalette::Base), QColor(Qt::white));
  EXPECT_TRUE(log->contains(QStringLiteral("autoRefreshCheckAction state = 1")));

  typePeriod(QStringLiteral("75"));
  EXPECT_TRUE(log->contains(QStringLiteral("autoRefreshValueChange state = 75")));
  QTest::mouseClick(view->autoRefreshCheck(), Qt::LeftButton);
  QTest::mouseClick(view->autoRefreshCheck(), Qt::LeftButton);
  EXPECT_EQ(view->autoRefreshValue()->text(), QStringLiteral("30")) << "toggling drops the unconfirmed period";
}

TEST_F(SettingsWindowTest, OkWithEmptyRecordersStoresTheDefaultShortcuts) {
  TestSecondView* view = open();
  QTest::mouseClick(view->buttonOK(), Qt::LeftButton);
  ASSERT_TRUE(waitUntilClosed());

  const QMap<QString, QString> file = fileValues();
  EXPECT_EQ(file.value(QStringLiteral("refresh_hot_keycode")), QStringLiteral("2"));
  EXPECT_EQ(file.value(QStringLiteral("refresh_hot_keycode_flags")), QStringLiteral("262144"));
  EXPECT_EQ(file.value(QStringLiteral("threshold_hot_keycode")), QStringLiteral("32"));
  EXPECT_EQ(file.value(QStringLiteral("threshold_hot_keycode_flags")), QStringLiteral("262144"));
  EXPECT_EQ(file.value(QStringLiteral("threshold_down_hot_keycode")), QStringLiteral("35"));
  EXPECT_EQ(file.value(QStringLiteral("threshold_down_hot_keycode_flags")), QStringLiteral("262144"));
  EXPECT_EQ(file.value(QStringLiteral("language")), QStringLiteral("0"));
  EXPECT_EQ(file.value(QStringLiteral("autoClearCheckValue")), QStringLiteral("0"));
  EXPECT_EQ(file.value(QStringLiteral("autoClearValue")), QStringLiteral("0"));
  EXPECT_EQ(file.value(QStringLiteral("autoStart")), QStringLiteral("0"));

  const QStringList setHotKeyLines{
      QStringLiteral("setHotKey RefreshHotkeyKeyCode = 2"),
      QStringLiteral("setHotKey RefreshHotkeyModifierFlags = 262144"),
      QStringLiteral("setHotKey ThresholdInfoHotkeyKeyCode = 32"),
      QStringLiteral("setHotKey ThresholdInfoHotkeyModifierFlags = 262144"),
      QStringLiteral("setHotKey ThresholdDownInfoHotkeyKeyCode = 35"),
      QStringLiteral("setHotKey ThresholdDownInfoHotkeyModifierFlags = 262144"),
  };
  const QStringList lines = log->lines();
  const qsizetype first = lines.indexOf(setHotKeyLines.front());
  ASSERT_GE(first, 0);
  EXPECT_EQ(lines.mid(first, 6), setHotKeyLines);
  EXPECT_EQ(RefreshHotkeyKeyCode, 2u);
  EXPECT_EQ(ThresholdInfoHotkeyKeyCode, 32u);
  EXPECT_EQ(ThresholdDownInfoHotkeyModifierFlags, 262144u);
}

TEST_F(SettingsWindowTest, RecordedShortcutsAreStoredAndThoseWithoutModifierReplaced) {
  TestSecondView* view = open();
  KivShortcutView* refresh = view->refreshHotCutView();
  QTest::mouseClick(refresh, Qt::LeftButton, Qt::NoModifier, refresh->rect().center());
  ASSERT_TRUE(refresh->isRecording());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(refresh->shortcutValue(), KivShortcut(15, kControl | kShift));

  KivShortcutView* up = view->thresholdInfocutView();
  QTest::mouseClick(up, Qt::LeftButton, Qt::NoModifier, up->rect().center());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
  EXPECT_EQ(up->shortcutValue(), KivShortcut(97, 0)) << "the recorder takes F6 alone";

  QTest::mouseClick(view->buttonOK(), Qt::LeftButton);
  ASSERT_TRUE(waitUntilClosed());
  const QMap<QString, QString> file = fileValues();
  EXPECT_EQ(file.value(QStringLiteral("refresh_hot_keycode")), QStringLiteral("15"));
  EXPECT_EQ(file.value(QStringLiteral("refresh_hot_keycode_flags")), QString::number(kControl | kShift));
  EXPECT_EQ(file.value(QStringLiteral("threshold_hot_keycode")), QStringLiteral("32"));
  EXPECT_EQ(file.value(QStringLiteral("threshold_hot_keycode_flags")), QStringLiteral("262144"));
  EXPECT_EQ(RefreshHotkeyKeyCode, 15u);
  EXPECT_EQ(RefreshHotkeyModifierFlags, kControl | kShift);
}

struct PeriodCase {
  const char* typed;
  qint64 fieldValue;  // what the log shows
  const char* stored;
};

TEST_F(SettingsWindowTest, ThePeriodIsReadAsAnIntegerAndClampedOnOk) {
  const PeriodCase cases[] = {
      {"-5", -5, "0"},
      {"12345", 12345, "9999"},
      {"abc", 0, "0"},
      {"", 0, "0"},
      {"  42 s", 42, "42"},
      {"9999", 9999, "9999"},
      {"99999999999999999999999", std::numeric_limits<qint64>::max(), "9999"},
      {"-99999999999999999999999", std::numeric_limits<qint64>::min(), "0"},
  };
  for (const PeriodCase& c : cases) {
    SCOPED_TRACE(c.typed);
    store(QStringLiteral("autoClearCheckValue"), 1);
    TestSecondView* view = open();
    typePeriod(QString::fromUtf8(c.typed));
    log->clear();
    QTest::mouseClick(view->buttonOK(), Qt::LeftButton);
    ASSERT_TRUE(waitUntilClosed());
    EXPECT_TRUE(log->contains(QStringLiteral("finishViewAction state = %1").arg(c.fieldValue)));
    EXPECT_EQ(fileValues().value(QStringLiteral("autoClearValue")), QString::fromUtf8(c.stored));
    EXPECT_EQ(autoClearValue_exit, QString::fromUtf8(c.stored).toLongLong());
  }
}

struct TimerCase {
  const char* name;
  qint64 openedCheck;
  qint64 openedPeriod;
  bool clickCheckBox;
  const char* typedPeriod;  // nullptr: left alone
  const char* delayLine;    // nullptr: the timer is not touched
  int refreshesAtOnce;
};

TEST_F(SettingsWindowTest, OkDecidesAboutTheAutoClearTimer) {
  const TimerCase cases[] = {
      {"on, same period: the running timer is left alone", 1, 30, false, nullptr, nullptr, 0},
      {"switched on, period 30: armed with one refresh at once", 0, 30, true, nullptr,
       "setAutoClearGhostDelay delay = 30", 1},
      {"switched off: stopped", 1, 30, true, nullptr, "setAutoClearGhostDelay delay = 0", 0},
      {"on, new period: re-armed", 1, 30, false, "45", "setAutoClearGhostDelay delay = 45", 1},
      {"on, period 0: stopped", 1, 30, false, "0", "setAutoClearGhostDelay delay = 0", 0},
      {"stored 2 (not a state of the box), box shown on: armed", 2, 30, false, nullptr,
       "setAutoClearGhostDelay delay = 30", 1},
  };
  for (const TimerCase& c : cases) {
    SCOPED_TRACE(c.name);
    store(QStringLiteral("autoClearCheckValue"), c.openedCheck);
    store(QStringLiteral("autoClearValue"), c.openedPeriod);
    TestSecondView* view = open();
    if (c.clickCheckBox) QTest::mouseClick(view->autoRefreshCheck(), Qt::LeftButton);
    if (c.typedPeriod) typePeriod(QString::fromUtf8(c.typedPeriod));
    log->clear();
    QTest::mouseClick(view->buttonOK(), Qt::LeftButton);
    ASSERT_TRUE(waitUntilClosed());
    if (c.refreshesAtOnce > 0) {
      EXPECT_TRUE(test::runEventLoopUntil([this] { return log->contains(refreshSent()); }));
    } else {
      test::runEventLoopFor(400);
    }
    EXPECT_EQ(log->count(refreshSent()), c.refreshesAtOnce);
    int delayLines = 0;
    for (const QString& line : log->lines())
      delayLines += line.startsWith(QStringLiteral("setAutoClearGhostDelay delay"));
    if (c.delayLine) {
      EXPECT_EQ(delayLines, 1);
      EXPECT_TRUE(log->contains(QString::fromUtf8(c.delayLine)));
    } else {
      EXPECT_EQ(delayLines, 0);
    }
    mainWindow->setAutoClearGhostDelay(0);
  }
}

TEST_F(SettingsWindowTest, PauseWhileIdleAndThePageCountAreStoredAndInForceOnOkAndDroppedOnExit) {
  for (const bool confirm : {false, true}) {
    SCOPED_TRACE(confirm ? "OK" : "Exit");
    TestSecondView* view = open();
    EXPECT_EQ(view->pauseWhileIdleCheck()->text(), QStringLiteral("空闲时暂停"));
    EXPECT_EQ(view->pageRefreshTitle()->text(), QStringLiteral("每翻"));
    EXPECT_EQ(view->pageRefreshUnit()->text(), QStringLiteral("页刷新"));
    EXPECT_TRUE(view->pauseWhileIdleCheck()->isChecked()) << "on unless switched off";
    EXPECT_FALSE(view->pauseWhileIdleCheck()->isEnabled()) << "nothing to pause while Auto Clear is off";
    EXPECT_EQ(view->pageRefreshValue()->text(), QStringLiteral("0"));

    QTest::mouseClick(view->autoRefreshCheck(), Qt::LeftButton);
    ASSERT_TRUE(view->pauseWhileIdleCheck()->isEnabled());
    // On its box: the check box is as wide as the column.
    QTest::mouseClick(view->pauseWhileIdleCheck(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(8, view->pauseWhileIdleCheck()->height() / 2));
    view->pageRefreshValue()->selectAll();
    QTest::keyClicks(view->pageRefreshValue(), QStringLiteral("120"));
    // The language changes the words, not what was set.
    view->currentLanguageInfo()->setFocus();
    QTest::keyClick(view->currentLanguageInfo(), Qt::Key_Down);
    EXPECT_EQ(view->pauseWhileIdleCheck()->text(), QStringLiteral("Pause while idle"));
    EXPECT_EQ(view->pageRefreshTitle()->text(), QStringLiteral("Refresh every"));
    EXPECT_EQ(view->pageRefreshUnit()->text(), QStringLiteral("page turns"));
    EXPECT_FALSE(view->pauseWhileIdleCheck()->isChecked());
    EXPECT_EQ(view->pageRefreshValue()->text(), QStringLiteral("120"));

    QTest::mouseClick(confirm ? view->buttonOK() : view->buttonExit(), Qt::LeftButton);
    ASSERT_TRUE(waitUntilClosed());
    const AutoClearState& status = AutoClearStatus::shared().state();
    if (!confirm) {
      EXPECT_FALSE(fileValues().contains(QStringLiteral("pauseWhileIdle")));
      EXPECT_FALSE(fileValues().contains(QStringLiteral("pageRefreshValue")));
      EXPECT_EQ(PauseWhileIdle, 1);
      EXPECT_EQ(mainWindow->pageTurnRefresh().every(), 0);
      EXPECT_TRUE(status.pauseWhileIdle);
      continue;
    }
    EXPECT_EQ(fileValues().value(QStringLiteral("pauseWhileIdle")), QStringLiteral("0"));
    EXPECT_EQ(fileValues().value(QStringLiteral("pageRefreshValue")), QStringLiteral("99")) << "clamped to 0..99";
    EXPECT_EQ(PauseWhileIdle, 0);
    EXPECT_EQ(PageRefreshValue, 99);
    EXPECT_EQ(mainWindow->pageTurnRefresh().every(), 99);
    EXPECT_FALSE(status.pauseWhileIdle);
    EXPECT_EQ(status.pageRefresh, 99);
    CurrentLanguage = 0;
    mainWindow->setViewDisplay();
  }
}

TEST_F(SettingsWindowTest, ChoosingEnglishRelabelsAtOnceAndExitKeepsTheLanguage) {
  store(QStringLiteral("autoClearValue"), 30);
  TestSecondView* view = open();
  QTest::mouseClick(view->autoRefreshCheck(), Qt::LeftButton);
  ASSERT_TRUE(view->autoRefreshCheck()->isChecked());

  view->currentLanguageInfo()->setFocus();
  QTest::keyClick(view->currentLanguageInfo(), Qt::Key_Down);
  EXPECT_EQ(view->currentLanguageInfo()->currentIndex(), 1);
  EXPECT_TRUE(log->contains(QStringLiteral("finishViewAction  _currentLanguageInfo.indexOfSelectedItem = 1")));
  struct Label {
    QString shown;
    const char* english;
  };
  const Label labels[] = {
      {view->refreshHotKey()->text(), "Fast Refresh Hotkey"},
      {view->thresholdHotKey()->text(), "Contrast Hotkey"},
      {view->thresholdUp()->text(), "Up:"},
      {view->thresholdDown()->text(), "Down:"},
      {view->languageSettings()->text(), "Language Settings"},
      {view->autoRefreshCheck()->text(), "Auto Clear Ghost"},
      {view->autoUnit()->text(), "second"},
      {view->autoStartCheck()->text(), "Automatic start"},
      {view->buttonExit()->text(), "Exit"},
      {view->buttonOK()->text(), "OK"},
  };
  for (const Label& label : labels) EXPECT_EQ(label.shown, QString::fromUtf8(label.english));
  EXPECT_FALSE(view->autoRefreshCheck()->isChecked()) << "relabelling drops the unconfirmed check box";
  EXPECT_EQ(currentViewLanguageFlag, 1);

  const QString mainSettingsText =
      mainWindow->window()->findChild<QPushButton*>(QStringLiteral("clientSettingsButton"))->text();
  QTest::mouseClick(view->buttonExit(), Qt::LeftButton);
  ASSERT_TRUE(waitUntilClosed());
  EXPECT_TRUE(log->contains(QStringLiteral("acb")));
  EXPECT_EQ(CurrentLanguage, 0);
  EXPECT_FALSE(fileValues().contains(QStringLiteral("language")));
  EXPECT_FALSE(fileValues().contains(QStringLiteral("autoClearCheckValue")));
  EXPECT_EQ(mainWindow->window()->findChild<QPushButton*>(QStringLiteral("clientSettingsButton"))->text(),
            mainSettingsText);
}

TEST_F(SettingsWindowTest, OkInEnglishRelabelsTheMainWindow) {
  TestSecondView* view = open();
  view->currentLanguageInfo()->setFocus();
  QTest::keyClick(view->currentLanguageInfo(), Qt::Key_Down);
  QTest::mouseClick(view->buttonOK(), Qt::LeftButton);
  ASSERT_TRUE(waitUntilClosed());
  EXPECT_EQ(CurrentLanguage, 1);
  EXPECT_EQ(fileValues().value(QStringLiteral("language")), QStringLiteral("1"));
  EXPECT_EQ(mainWindow->window()->findChild<QPushButton*>(QStringLiteral("clientSettingsButton"))->text(),
            MainWindowTexts::forLanguage(1).clientSettingsButton);
  mainWindow->setViewDisplay();
}

TEST_F(SettingsWindowTest, ALanguageValueOtherThanZeroOrOneShowsEnglishAndIsKept) {
  CurrentLanguage = 2;
  TestSecondView* view = open();
  EXPECT_EQ(view->currentLanguageInfo()->currentIndex(), 1);
  EXPECT_EQ(view->buttonOK()->text(), QStringLiteral("OK"));
  QTest::mouseClick(view->buttonOK(), Qt::LeftButton);
  ASSERT_TRUE(waitUntilClosed());
  EXPECT_EQ(CurrentLanguage, 2);
  EXPECT_EQ(fileValues().value(QStringLiteral("language")), QStringLiteral("2"));
}

struct AutoStartCase {
  qint64 stored;  // -1: absent
  const char* written;
};

TEST_F(SettingsWindowTest, TheHiddenAutomaticStartIsWrittenBackUnchanged) {
  const AutoStartCase cases[] = {{-1, "0"}, {0, "0"}, {1, "1"}, {5, "5"}};
  // Discovery's memory of the monitor's adapter is none of the window's business.
  rememberMonitorAdapter(PreferenceStore::standard(), QStringLiteral("usb:1a86:7523:"));
  for (const AutoStartCase& c : cases) {
    SCOPED_TRACE(c.stored);
    if (c.stored >= 0) store(QStringLiteral("autoStart"), c.stored);
    TestSecondView* view = open();
    EXPECT_FALSE(view->autoStartCheck()->isVisible());
    QTest::mouseClick(view->buttonOK(), Qt::LeftButton);
    ASSERT_TRUE(waitUntilClosed());
    EXPECT_EQ(fileValues().value(QStringLiteral("autoStart")), QString::fromUtf8(c.written));
    EXPECT_EQ(fileValues().value(QStringLiteral("monitorAdapter")), QStringLiteral("usb:1a86:7523:"));
  }
}

enum class Dismissal { Ok, Exit, Escape, CloseButton };

TEST_F(SettingsWindowTest, NoWayOfDismissingTheWindowEndsOstrel) {
  struct Case {
    const char* name;
    Dismissal how;
    bool stores;
  };
  const Case cases[] = {
      {"OK", Dismissal::Ok, true},
      {"Exit", Dismissal::Exit, false},
      {"Escape", Dismissal::Escape, false},
      {"close button", Dismissal::CloseButton, false},
  };
  // Ostrel ends when its main window closes.
  int mainWindowCloses = 0;
  class CloseCounter : public QObject {
   public:
    explicit CloseCounter(int& count) : count_(count) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Close) ++count_;
      return false;
    }

   private:
    int& count_;
  } counter(mainWindowCloses);
  mainWindow->window()->installEventFilter(&counter);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clearPreferences();
    TestSecondView* view = open();
    typePeriod(QStringLiteral("77"));
    switch (c.how) {
      case Dismissal::Ok:
        QTest::mouseClick(view->buttonOK(), Qt::LeftButton);
        break;
      case Dismissal::Exit:
        QTest::mouseClick(view->buttonExit(), Qt::LeftButton);
        break;
      case Dismissal::Escape:
        QTest::keyClick(view->focusWidget() ? view->focusWidget() : view, Qt::Key_Escape);
        break;
      case Dismissal::CloseButton:
        view->close();
        break;
    }
    ASSERT_TRUE(waitUntilClosed()) << "a dismissed window is deleted";
    EXPECT_EQ(mainWindowCloses, 0);
    EXPECT_TRUE(mainWindow->window()->isVisible());
    EXPECT_EQ(fileValues().contains(QStringLiteral("autoClearValue")), c.stores);
  }
  mainWindow->window()->removeEventFilter(&counter);
}

TEST_F(SettingsWindowTest, EachOpeningIsAFreshWindowAndOnlyOneIsOpen) {
  store(QStringLiteral("autoClearCheckValue"), 1);
  store(QStringLiteral("autoClearValue"), 30);
  TestSecondView* first = open();
  EXPECT_EQ(TestSecondView::presentFrom(mainWindow->window()), first) << "a second request raises the open one";
  typePeriod(QStringLiteral("99"));
  QTest::mouseClick(first->buttonExit(), Qt::LeftButton);
  ASSERT_TRUE(waitUntilClosed());

  TestSecondView* second = open();
  EXPECT_EQ(second->autoRefreshValue()->text(), QStringLiteral("30"));
}

TEST_F(SettingsWindowTest, EscapeWhileRecordingCancelsTheRecordingNotTheWindow) {
  RefreshHotkeyKeyCode = 2;
  RefreshHotkeyModifierFlags = kControl;
  TestSecondView* view = open();
  KivShortcutView* refresh = view->refreshHotCutView();
  QTest::mouseClick(refresh, Qt::LeftButton, Qt::NoModifier, refresh->rect().center() - QPoint(20, 0));
  ASSERT_TRUE(refresh->isRecording());
  QTest::keyClick(view->focusWidget() ? view->focusWidget() : view, Qt::Key_Escape);
  EXPECT_FALSE(refresh->isRecording());
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(refresh->shortcutValue(), KivShortcut(2, kControl));
}

TEST_F(SettingsWindowTest, WhileTheDesktopAsksTheNotesSayOstrelWaitsAndThenShowTheKeysItAssigned) {
  DesktopServices& services = DesktopServices::shared();
  services.setState(DesktopService::Shortcuts,
                    {QStringLiteral("portal"), QStringLiteral("GlobalShortcuts portal (version 1): waiting")});
  services.setBinding(ShortcutBinding::Asking, {{DesktopShortcutRefresh, QStringLiteral("CTRL+D"), QString()}});
  services.setAwaitingConfirmation(DesktopService::Shortcuts, true);
  services.setAwaitingConfirmation(DesktopService::Input, true);
  TestSecondView* view = open();
  const QLabel* notes = view->desktopShortcutNotes();
  EXPECT_TRUE(notes->isVisibleTo(view));
  EXPECT_EQ(notes->text(), QStringLiteral("正在等待桌面的确认：请在桌面显示的对话框中添加快捷键。\n"
                                          "显示器的按键和指针正在等待桌面的确认：请在桌面显示的对话框中允许。"));
  EXPECT_EQ(DesktopShortcutNotes::noteText(services, true),
            QStringLiteral("Waiting for the desktop's confirmation: add the shortcuts in the dialog it shows.\n"
                           "The monitor's keys and pointer are waiting for the desktop's confirmation: allow them in "
                           "the dialog it shows."));
  // The desktop's answer arrives while the window is open.
  services.setAwaitingConfirmation(DesktopService::Shortcuts, false);
  services.setBinding(ShortcutBinding::Bound, {{DesktopShortcutRefresh, QStringLiteral("CTRL+D"),
                                                QStringLiteral("Ctrl+D")}});
  EXPECT_EQ(notes->text(), QStringLiteral("快速刷新：Ctrl+D（桌面已分配）\n"
                                          "显示器的按键和指针正在等待桌面的确认：请在桌面显示的对话框中允许。"));
  services.setAwaitingConfirmation(DesktopService::Input, false);
  EXPECT_EQ(notes->text(), QStringLiteral("快速刷新：Ctrl+D（桌面已分配）"));
  QTest::mouseClick(view->buttonExit(), Qt::LeftButton);
  ASSERT_TRUE(waitUntilClosed());
  services.reset();
}

}  // namespace
}  // namespace ostrel
