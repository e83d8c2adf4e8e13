// The recorder's keyboard rules, driven with Qt key events and with real X key
// events from xdotool, and the conflict alert for combinations that another X
// client or one of Ostrel's menus holds.

#include "ForeignKeyGrab.h"
#include "RecorderTestSupport.h"
#include "platform/x11/KeyCodeMap.h"
#include "settings/ProgramValues.h"
#include "shortcuts/KivLocalizedString.h"
#include "shortcuts/KivMenu.h"
#include "shortcuts/view/KivMenuBarAdapter.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <optional>

namespace ostrel {
namespace {

constexpr quint64 kShift = 0x20000;
constexpr quint64 kControl = 0x40000;
constexpr quint64 kOption = 0x80000;
constexpr quint64 kCommand = 0x100000;

using test::RecorderWindow;

class RecorderKeysTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::installRecorderEnvironment(); }

  void SetUp() override {
    CurrentLanguage = 1;
    window = std::make_unique<RecorderWindow>();
    ASSERT_TRUE(window->showActive());
  }

  void TearDown() override {
    window.reset();
    KivMenu::setMainMenuProvider(nullptr);
    CurrentLanguage = 0;
  }

  // Gives `view` a starting value, then counts the value changes it reports.
  void startRecording(KivShortcutView* view, const std::optional<KivShortcut>& initial) {
    view->setShortcutValue(initial);
    changes = 0;
    view->setShortcutValueChange([this](KivShortcutView*) { ++changes; });
    view->setRecording(true);
    ASSERT_TRUE(view->isRecording());
  }

  std::unique_ptr<RecorderWindow> window;
  int changes = 0;
};

struct KeyCase {
  const char* name;
  std::optional<KivShortcut> initial;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  bool recordingAfter;
  std::optional<KivShortcut> valueAfter;
  int beeps;
  int changes;
  bool reachesApplication;
};

TEST_F(RecorderKeysTest, KeysWhileRecordingFollowTheRulesInOrder) {
  const KivShortcut controlD(2, kControl);
  const KeyCase cases[] = {
      {"Control+A is taken", std::nullopt, Qt::Key_A, Qt::ControlModifier, false, KivShortcut(0, kControl), 0, 1,
       false},
      {"A alone is refused with a beep", std::nullopt, Qt::Key_A, Qt::NoModifier, true, std::nullopt, 1, 0, false},
      {"Shift+A is refused with a beep", controlD, Qt::Key_A, Qt::ShiftModifier, true, controlD, 1, 0, false},
      {"Option+A is refused with a beep", controlD, Qt::Key_A, Qt::AltModifier, true, controlD, 1, 0, false},
      {"F5 alone is taken", std::nullopt, Qt::Key_F5, Qt::NoModifier, false, KivShortcut(96, 0), 0, 1, false},
      {"Option+Space is taken", std::nullopt, Qt::Key_Space, Qt::AltModifier, false, KivShortcut(49, kOption), 0, 1,
       false},
      {"Command (Super)+A is taken", std::nullopt, Qt::Key_A, Qt::MetaModifier, false, KivShortcut(0, kCommand), 0, 1,
       false},
      {"Control+Shift+Q is an ordinary shortcut", controlD, Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier, false,
       KivShortcut(12, kControl | kShift), 0, 1, false},
      {"Escape cancels and keeps the value", controlD, Qt::Key_Escape, Qt::NoModifier, false, controlD, 0, 0, false},
      {"Delete clears", controlD, Qt::Key_Backspace, Qt::NoModifier, false, std::nullopt, 0, 1, false},
      {"Forward Delete clears", controlD, Qt::Key_Delete, Qt::NoModifier, false, std::nullopt, 0, 1, false},
      {"Control+Delete is a shortcut, not a clear", controlD, Qt::Key_Backspace, Qt::ControlModifier, false,
       KivShortcut(51, kControl), 0, 1, false},
      {"Tab goes on to the application", controlD, Qt::Key_Tab, Qt::NoModifier, true, controlD, 0, 0, true},
      {"Shift+Tab goes on to the application", controlD, Qt::Key_Backtab, Qt::ShiftModifier, true, controlD, 0, 0,
       true},
      {"Control+Q stops and goes on", controlD, Qt::Key_Q, Qt::ControlModifier, false, controlD, 0, 0, true},
      {"Control+W stops and goes on", std::nullopt, Qt::Key_W, Qt::ControlModifier, false, std::nullopt, 0, 0, true},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::BeepCounter beeps;
    startRecording(window->first, c.initial);
    window->keysReachingField.clear();

    test::typeKey(c.key, c.modifiers);

    EXPECT_EQ(window->first->isRecording(), c.recordingAfter);
    EXPECT_EQ(window->first->shortcutValue(), c.valueAfter);
    EXPECT_EQ(beeps.count(), c.beeps);
    EXPECT_EQ(changes, c.changes);
    bool reached = false;
    for (const test::SeenKey& seen : window->keysReachingField) reached |= seen.key == c.key;
    EXPECT_EQ(reached, c.reachesApplication);
    window->first->setRecording(false);
  }
}

TEST_F(RecorderKeysTest, ControlQStillReachesTheQuitShortcut) {
  // The key must get to the application's own Control+Q, not just to a widget.
  QAction quit(QStringLiteral("Quit"), window.get());
  quit.setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
  window->addAction(&quit);
  int quits = 0;
  QObject::connect(&quit, &QAction::triggered, [&quits] { ++quits; });

  startRecording(window->first, KivShortcut(2, kControl));
  test::typeKey(Qt::Key_Q, Qt::ControlModifier);

  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(window->first->isRecording());
  EXPECT_EQ(window->first->shortcutValue(), KivShortcut(2, kControl));
}

TEST_F(RecorderKeysTest, WindowShortcutsDoNotFireWhileTheirKeysAreRecorded) {
  QAction save(QStringLiteral("Save"), window.get());
  save.setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
  window->addAction(&save);
  int saves = 0;
  QObject::connect(&save, &QAction::triggered, [&saves] { ++saves; });

  startRecording(window->first, std::nullopt);
  test::typeKey(Qt::Key_S, Qt::ControlModifier);

  EXPECT_EQ(saves, 0);
  EXPECT_EQ(window->first->shortcutValue(), KivShortcut(1, kControl));
}

TEST_F(RecorderKeysTest, HeldModifiersShowAsThePlaceholder) {
  startRecording(window->first, std::nullopt);
  struct Step {
    bool press;
    Qt::Key key;
    Qt::KeyboardModifiers before;
    const char* placeholder;
    const char* title;
  };
  const Step steps[] = {
      {true, Qt::Key_Control, Qt::NoModifier, "⌃", "⌃"},
      {true, Qt::Key_Alt, Qt::ControlModifier, "⌃⌥", "⌃⌥"},
      {true, Qt::Key_Shift, Qt::ControlModifier | Qt::AltModifier, "⌃⌥⇧", "⌃⌥⇧"},
      {false, Qt::Key_Shift, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, "⌃⌥", "⌃⌥"},
      {false, Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier, "⌃", "⌃"},
      {false, Qt::Key_Control, Qt::ControlModifier, "", "Type Shortcut"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.title);
    if (step.press) {
      test::pressKey(step.key, step.before);
    } else {
      test::releaseKey(step.key, step.before);
    }
    EXPECT_TRUE(window->first->isRecording());
    EXPECT_EQ(window->first->shortcutPlaceholder(), QString::fromUtf8(step.placeholder));
    EXPECT_EQ(window->first->currentTitle(), QString::fromUtf8(step.title));
  }
  EXPECT_EQ(window->first->shortcutValue(), std::nullopt);
}

TEST_F(RecorderKeysTest, RealKeyEventsRecordTheKeyPositionAndModifiers) {
  startRecording(window->first, std::nullopt);

  ASSERT_TRUE(test::xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl"), QStringLiteral("alt")}));
  EXPECT_EQ(window->first->currentTitle(), QStringLiteral("⌃⌥"));
  test::saveScreenshot(window.get(), QStringLiteral("recorder-holding-modifiers"));
  ASSERT_TRUE(test::xdotool({QStringLiteral("keyup"), QStringLiteral("alt"), QStringLiteral("ctrl")}));
  EXPECT_EQ(window->first->currentTitle(), QStringLiteral("Type Shortcut"));
  EXPECT_TRUE(window->first->isRecording());

  ASSERT_TRUE(test::xdotool({QStringLiteral("key"), QStringLiteral("a")}));
  EXPECT_TRUE(window->first->isRecording()) << "A alone is refused";

  ASSERT_TRUE(test::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+shift+k")}));
  EXPECT_FALSE(window->first->isRecording());
  EXPECT_EQ(window->first->shortcutValue(), KivShortcut(40, kControl | kShift));
  EXPECT_EQ(window->first->currentTitle(), QStringLiteral("⌃⇧K"));

  window->second->setRecording(true);
  ASSERT_TRUE(test::xdotool({QStringLiteral("key"), QStringLiteral("super+F7")}));
  EXPECT_EQ(window->second->shortcutValue(), KivShortcut(98, kCommand));
  EXPECT_EQ(changes, 1) << "the first recorder was not touched";
}

TEST_F(RecorderKeysTest, ACombinationAnotherClientHoldsShowsTheAlertAndRecordingGoesOn) {
  CurrentLanguage = 0;
  const auto keycode = platform::x11::x11KeycodeForVirtualKeyCode(40);  // K
  ASSERT_TRUE(keycode);
  test::ForeignKeyGrab grab(*keycode, 0x4 | 0x8);  // Control + Mod1 (Alt)
  ASSERT_TRUE(grab.isHeld());

  startRecording(window->second, KivShortcut(35, kControl));
  {
    test::AlertAnswerer answerer;
    test::typeKey(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_TRUE(answerer.seen().shown);
    EXPECT_EQ(answerer.seen().icon, QMessageBox::Critical);
    EXPECT_EQ(answerer.seen().text, QStringLiteral("组合键⌃⌥K不能被使用"));
    EXPECT_EQ(answerer.seen().informativeText, KivLocalizedString(kivstrings::takenBySystem, QStringLiteral("alert")));
    EXPECT_EQ(answerer.seen().buttons, QStringList{QStringLiteral("OK")});
  }
  EXPECT_TRUE(window->second->isRecording());
  EXPECT_EQ(window->second->shortcutValue(), KivShortcut(35, kControl));
  EXPECT_EQ(window->second->shortcutPlaceholder(), QString());
  EXPECT_EQ(changes, 0);

  // The key monitor listens again once the alert is gone.
  ASSERT_TRUE(test::runEventLoopUntil([this] { return window->isActiveWindow() && QApplication::focusWidget(); }));
  test::typeKey(Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_FALSE(window->second->isRecording());
  EXPECT_EQ(window->second->shortcutValue(), KivShortcut(38, kControl | kOption));
}

TEST_F(RecorderKeysTest, ACombinationOfOneOfOstrelsMenusShowsTheMenuItem) {
  QMenuBar bar;
  QMenu* file = bar.addMenu(QStringLiteral("&File"));
  QAction* saveAs = file->addAction(QStringLiteral("Save &As…"));
  saveAs->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
  KivMenuBarAdapter::registerAsMainMenu(&bar);

  struct Case {
    std::int32_t language;
    const char* text;
    const char* explanation;
  };
  const Case cases[] = {
      {1, "The key combination ⌃⇧S cannot be used",
       "This shortcut cannot be used because it is already used by the menu item ‘Save As…’."},
      {0, "组合键⌃⇧S不能被使用", "键入快捷键已经被 ‘Save As…’ 菜单所使用."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    CurrentLanguage = c.language;
    // The previous alert hands the keyboard back to the window.
    ASSERT_TRUE(test::runEventLoopUntil([this] { return window->isActiveWindow() && QApplication::focusWidget(); }));
    startRecording(window->first, std::nullopt);
    test::AlertAnswerer answerer;
    test::typeKey(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(answerer.seen().shown);
    EXPECT_EQ(answerer.seen().text, QString::fromUtf8(c.text));
    EXPECT_EQ(answerer.seen().informativeText, QString::fromUtf8(c.explanation));
    EXPECT_TRUE(window->first->isRecording());
    EXPECT_EQ(window->first->shortcutValue(), std::nullopt);
    window->first->setRecording(false);
  }
}

TEST_F(RecorderKeysTest, OnlyOneRecorderRecords) {
  window->first->setShortcutValue(KivShortcut(2, kControl));
  window->first->setRecording(true);
  window->second->setRecording(true);

  EXPECT_FALSE(window->first->isRecording());
  EXPECT_TRUE(window->second->isRecording());
  EXPECT_EQ(KivShortcutView::currentRecorder(), window->second);
  EXPECT_EQ(window->first->accessibilityAnnouncement(), QStringLiteral("Shortcut set"));

  test::typeKey(Qt::Key_U, Qt::ControlModifier);
  EXPECT_EQ(window->second->shortcutValue(), KivShortcut(32, kControl));
  EXPECT_EQ(window->first->shortcutValue(), KivShortcut(2, kControl));
  EXPECT_EQ(KivShortcutView::currentRecorder(), window->second) << "kept after recording stopped";
}

TEST_F(RecorderKeysTest, ADisabledRecorderAskedToRecordStillStopsTheOtherOne) {
  window->first->setRecording(true);
  window->second->setEnabled(false);
  window->second->setRecording(true);
  EXPECT_FALSE(window->first->isRecording());
  EXPECT_FALSE(window->second->isRecording());
  EXPECT_EQ(KivShortcutView::currentRecorder(), window->second);
}

TEST_F(RecorderKeysTest, DestroyingAnotherRecorderLeavesTheRecordingOneListening) {
  window->first->setRecording(true);
  delete window->second;
  window->second = nullptr;
  test::typeKey(Qt::Key_P, Qt::ControlModifier);
  EXPECT_EQ(window->first->shortcutValue(), KivShortcut(35, kControl));
}

TEST_F(RecorderKeysTest, RecordingStopsWhenTheWindowIsNoLongerActive) {
  window->first->setRecording(true);
  QWidget other;
  other.resize(120, 80);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(test::runEventLoopUntil([&other] { return other.isActiveWindow(); }, 10000));
  EXPECT_TRUE(test::runEventLoopUntil([this] { return !window->first->isRecording(); }));
  EXPECT_EQ(window->first->accessibilityAnnouncement(), QStringLiteral("Shortcut cleared"));
}

TEST_F(RecorderKeysTest, DisablingARecordingControlStopsItAndDropsItsToolTips) {
  window->first->setShortcutValue(KivShortcut(2, kControl));
  window->first->setRecording(true);
  window->first->setEnabled(false);
  EXPECT_FALSE(window->first->isRecording());
  EXPECT_EQ(window->first->shortcutToolTipTag(), 0);
  EXPECT_EQ(window->first->hintToolTipTag(), 0);
  test::typeKey(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(window->first->shortcutValue(), KivShortcut(2, kControl));

  // At rest, disabling keeps the tool tips until the value is next set.
  window->second->setShortcutValue(KivShortcut(32, kControl));
  window->second->setEnabled(false);
  EXPECT_NE(window->second->shortcutToolTipTag(), 0);
  window->second->setShortcutValue(KivShortcut(32, kControl));
  EXPECT_EQ(window->second->shortcutToolTipTag(), 0);
}

}  // namespace
}  // namespace ostrel
