// The recorder's looks and mouse: titles per state and language, clicks in its
// two areas, hover over the hint area, tool tips, styles, accessibility, and
// screenshots of its states.

#include "RecorderTestSupport.h"
#include "settings/ProgramValues.h"
#include "shortcuts/view/KivShortcutViewAccessible.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>
#include <optional>

namespace ostrel {
namespace {

constexpr quint64 kControl = 0x40000;
constexpr quint64 kOption = 0x80000;
constexpr quint64 kCommand = 0x100000;

class RecorderViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::installRecorderEnvironment(); }
  void SetUp() override {
    CurrentLanguage = 1;
    window = std::make_unique<test::RecorderWindow>();
    ASSERT_TRUE(window->showActive());
  }
  void TearDown() override {
    window.reset();
    CurrentLanguage = 0;
  }
  std::unique_ptr<test::RecorderWindow> window;
};

struct TitleCase {
  std::int32_t language;
  bool hasValue;
  bool recording;
  bool hinting;
  const char* placeholder;
  const char* title;
  const char* glyph;
};

TEST_F(RecorderViewTest, TitlesFollowStateAndLanguage) {
  // Value ⌃⌥R; the Chinese texts for every language but 1.
  const TitleCase cases[] = {
      {1, false, false, false, "", "Record Shortcut", ""},
      {1, false, true, false, "", "Type Shortcut", "⎋"},
      {1, false, true, true, "", "Cancel", "⎋"},
      {1, false, true, false, "⌃⌥", "⌃⌥", "⎋"},
      {1, true, false, false, "", "⌃⌥R", "✕"},
      {1, true, false, true, "", "⌃⌥R", "✕"},
      {1, true, true, false, "", "Type New Shortcut", "⎋"},
      {1, true, true, true, "", "Use Old Shortcut", "⎋"},
      {1, true, true, false, "⇧", "⇧", "⎋"},
      {0, false, false, false, "", "输入快捷键", ""},
      {0, false, true, false, "", "输入快捷键", "⎋"},
      {0, false, true, true, "", "取消", "⎋"},
      {0, true, false, false, "", "⌃⌥R", "✕"},
      {0, true, true, false, "", "键入新快捷键", "⎋"},
      {0, true, true, true, "", "使用旧快捷键", "⎋"},
      {2, false, false, false, "", "输入快捷键", ""},
      {2, false, true, true, "", "取消", "⎋"},
      {2, true, true, false, "", "键入新快捷键", "⎋"},
      {2, true, true, true, "", "使用旧快捷键", "⎋"},
  };
  KivShortcutView* view = window->first;
  for (const TitleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "language " << c.language << " value " << c.hasValue << " recording "
                                    << c.recording << " hinting " << c.hinting << " placeholder " << c.placeholder);
    CurrentLanguage = c.language;
    view->setRecording(false);
    view->setShortcutValue(c.hasValue ? std::optional(KivShortcut(15, kControl | kOption)) : std::nullopt);
    view->setRecording(c.recording);
    view->setHinting(c.hinting);
    view->setShortcutPlaceholder(QString::fromUtf8(c.placeholder));
    EXPECT_EQ(view->currentTitle(), QString::fromUtf8(c.title));
    EXPECT_EQ(view->currentHintGlyph(), QString::fromUtf8(c.glyph));
  }
}

TEST_F(RecorderViewTest, WithoutTheDeleteButtonNoGlyphShowsButTheHintAreaStillClears) {
  KivShortcutView* view = window->first;
  view->setShowsDeleteButton(false);
  view->setShortcutValue(KivShortcut(2, kControl));
  EXPECT_EQ(view->currentHintGlyph(), QString());
  test::clickAt(view, test::centerOfHintArea(*view));
  EXPECT_EQ(view->shortcutValue(), std::nullopt);
  EXPECT_FALSE(view->isRecording());
}

enum class Area { Shortcut, Hint };

struct ClickCase {
  const char* name;
  bool hasValue;
  bool recording;
  Area where;
  bool recordingAfter;
  bool hasValueAfter;
  int changes;
};

TEST_F(RecorderViewTest, ClicksDependOnValueStateAndArea) {
  const ClickCase cases[] = {
      {"value, at rest, shortcut area: records", true, false, Area::Shortcut, true, true, 0},
      {"value, at rest, hint area: clears", true, false, Area::Hint, false, false, 1},
      {"value, recording, hint area: stops, keeps the value", true, true, Area::Hint, false, true, 0},
      {"value, recording, shortcut area: nothing", true, true, Area::Shortcut, true, true, 0},
      {"empty, at rest, shortcut area: records", false, false, Area::Shortcut, true, false, 0},
      {"empty, at rest, hint area: records", false, false, Area::Hint, true, false, 0},
      {"empty, recording, hint area: stops", false, true, Area::Hint, false, false, 0},
      {"empty, recording, shortcut area: nothing", false, true, Area::Shortcut, true, false, 0},
  };
  KivShortcutView* view = window->first;
  for (const ClickCase& c : cases) {
    SCOPED_TRACE(c.name);
    view->setRecording(false);
    view->setShortcutValue(c.hasValue ? std::optional(KivShortcut(2, kControl)) : std::nullopt);
    view->setRecording(c.recording);
    int changes = 0;
    view->setShortcutValueChange([&changes](KivShortcutView*) { ++changes; });
    const QPoint point = c.where == Area::Hint ? test::centerOfHintArea(*view) : test::centerOfShortcutArea(*view);
    test::clickAt(view, point);
    EXPECT_EQ(view->isRecording(), c.recordingAfter);
    EXPECT_EQ(view->shortcutValue().has_value(), c.hasValueAfter);
    EXPECT_EQ(changes, c.changes);
    view->setShortcutValueChange(nullptr);
  }
}

TEST_F(RecorderViewTest, ClicksOnADisabledRecorderDoNothing) {
  KivShortcutView* view = window->first;
  view->setShortcutValue(KivShortcut(2, kControl));
  view->setEnabled(false);
  test::clickAt(view, test::centerOfHintArea(*view));
  test::clickAt(view, test::centerOfShortcutArea(*view));
  EXPECT_EQ(view->shortcutValue(), KivShortcut(2, kControl));
  EXPECT_FALSE(view->isRecording());
}

TEST_F(RecorderViewTest, TheMouseOverTheHintAreaChangesTheTitleWhileRecording) {
  KivShortcutView* view = window->first;
  view->setShortcutValue(KivShortcut(40, kCommand));
  test::clickAt(view, test::centerOfShortcutArea(*view));
  ASSERT_TRUE(view->isRecording());
  EXPECT_EQ(view->currentTitle(), QStringLiteral("Type New Shortcut"));

  ASSERT_TRUE(test::movePointerTo(view, test::centerOfHintArea(*view)));
  EXPECT_TRUE(test::runEventLoopUntil([view] { return view->isHinting(); }));
  EXPECT_EQ(view->currentTitle(), QStringLiteral("Use Old Shortcut"));
  test::saveScreenshot(window.get(), QStringLiteral("recorder-use-old-shortcut"));

  ASSERT_TRUE(test::movePointerTo(view, test::centerOfShortcutArea(*view)));
  EXPECT_TRUE(test::runEventLoopUntil([view] { return !view->isHinting(); }));
  EXPECT_EQ(view->currentTitle(), QStringLiteral("Type New Shortcut"));

  ASSERT_TRUE(test::movePointerTo(view, test::centerOfHintArea(*view)));
  ASSERT_TRUE(test::runEventLoopUntil([view] { return view->isHinting(); }));
  // Leaving the control ends the hover.
  ASSERT_TRUE(test::movePointerTo(window->field, window->field->rect().center()));
  EXPECT_TRUE(test::runEventLoopUntil([view] { return !view->isHinting(); }));
  ASSERT_TRUE(test::movePointerTo(view, test::centerOfHintArea(*view)));
  ASSERT_TRUE(test::runEventLoopUntil([view] { return view->isHinting(); }));
  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, test::centerOfHintArea(*view));
  EXPECT_FALSE(view->isRecording());
  EXPECT_EQ(view->shortcutValue(), KivShortcut(40, kCommand));
}

struct ToolTipCase {
  std::int32_t language;
  Area where;
  const char* text;
};

TEST_F(RecorderViewTest, ToolTipsNameWhatAClickInEachAreaDoes) {
  KivShortcutView* view = window->first;
  const ToolTipCase cases[] = {
      {1, Area::Shortcut, "Click to record new shortcut"},
      {1, Area::Hint, "Delete shortcut"},
      {0, Area::Shortcut, "单击记录快捷键"},
      {0, Area::Hint, "删除快捷键"},
      {2, Area::Hint, "删除快捷键"},
  };
  view->setShortcutValue(KivShortcut(2, kControl));
  for (const ToolTipCase& c : cases) {
    SCOPED_TRACE(c.text);
    CurrentLanguage = c.language;
    const QPoint point = c.where == Area::Hint ? test::centerOfHintArea(*view) : test::centerOfShortcutArea(*view);
    QHelpEvent help(QEvent::ToolTip, point, view->mapToGlobal(point));
    QApplication::sendEvent(view, &help);
    EXPECT_TRUE(test::runEventLoopUntil([] { return QToolTip::isVisible(); }));
    EXPECT_EQ(QToolTip::text(), QString::fromUtf8(c.text));
    QToolTip::hideText();
  }

  // None while recording.
  ASSERT_TRUE(test::runEventLoopUntil([] { return !QToolTip::isVisible(); }));
  view->setRecording(true);
  for (const QPoint& point : {test::centerOfShortcutArea(*view), test::centerOfHintArea(*view)}) {
    QHelpEvent help(QEvent::ToolTip, point, view->mapToGlobal(point));
    QApplication::sendEvent(view, &help);
    EXPECT_FALSE(help.isAccepted());
  }
  test::runEventLoopFor(200);
  EXPECT_FALSE(QToolTip::isVisible());
}

TEST_F(RecorderViewTest, SettingTheSameValueAgainStillReportsIt) {
  KivShortcutView* view = window->first;
  int changes = 0;
  KivShortcutView* reported = nullptr;
  view->setShortcutValueChange([&](KivShortcutView* sender) {
    ++changes;
    reported = sender;
  });
  view->setShortcutValue(KivShortcut(2, kControl));
  view->setShortcutValue(KivShortcut(2, kControl));
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(reported, view);
}

struct StyleCase {
  qint64 style;
  int hintWidth;
};

TEST_F(RecorderViewTest, TheHintAreaIsTheStylesWidthAtTheRightEdge) {
  KivShortcutView* view = window->first;
  view->resize(200, view->height());
  const StyleCase cases[] = {{KivShortcutView::StyleRoundRect, 23},
                             {KivShortcutView::StyleTexturedRounded, 25},
                             {KivShortcutView::StyleRounded, 26},
                             {KivShortcutView::StyleFlat, static_cast<int>(std::lround(view->font().pointSizeF())) + 4},
                             {7, 23}};
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(c.style);
    view->setShortcutStyle(c.style);
    QRect shortcutRect;
    QRect hintRect;
    view->getShortcutRect(&shortcutRect, &hintRect);
    EXPECT_EQ(hintRect.width(), c.hintWidth);
    EXPECT_EQ(hintRect.right(), view->rect().right());
    EXPECT_EQ(shortcutRect.width() + hintRect.width(), view->width());
    EXPECT_EQ(shortcutRect.left(), 0);
    EXPECT_TRUE(view->locationInHintRect(QPoint(view->width() - 1, 5)));
    EXPECT_FALSE(view->locationInShortcutRect(QPoint(view->width() - 1, 5)));
  }
}

TEST_F(RecorderViewTest, AssistiveTechnologySeesAButtonThatStartsRecording) {
  CurrentLanguage = 0;  // spoken texts follow the string table, not the language setting
  KivShortcutView* view = window->first;
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(view);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->role(), QAccessible::Button);
  EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Empty keyboard shortcut"));
  const QString help = QStringLiteral(
      "To record a new shortcut, click this button, and then type the new shortcut, or press delete to clear an "
      "existing shortcut.");
  EXPECT_EQ(accessible->text(QAccessible::Help), help);
  EXPECT_EQ(accessible->text(QAccessible::Description), help);
  view->setShortcutValue(KivShortcut(0, kControl | kOption));
  EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("⌃⌥A keyboard shortcut"));

  QAccessibleActionInterface* actions = accessible->actionInterface();
  ASSERT_NE(actions, nullptr);
  ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
  auto* recorderAccessible = static_cast<KivShortcutViewAccessible*>(accessible);
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(recorderAccessible->lastPressSucceeded());
  EXPECT_TRUE(view->isRecording());
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_FALSE(recorderAccessible->lastPressSucceeded()) << "already recording";
  EXPECT_TRUE(view->isRecording());

  // The end of recording is announced (Qt passes the event on only while an
  // assistive technology listens, which this machine has none of).
  test::typeKey(Qt::Key_Backspace);
  EXPECT_FALSE(view->isRecording());
  EXPECT_EQ(accessible->text(QAccessible::UserText), QStringLiteral("Shortcut cleared"));
  EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Empty keyboard shortcut"));

  // A disabled recorder does not start, and says so.
  view->setEnabled(false);
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_FALSE(recorderAccessible->lastPressSucceeded());
  EXPECT_FALSE(view->isRecording());
}

TEST_F(RecorderViewTest, Screenshots) {
  struct Shot {
    const char* name;
    std::int32_t language;
    qint64 style;
    bool hasValue;
    bool recording;
    const char* placeholder;
    bool enabled;
  };
  const Shot shots[] = {
      {"empty", 1, 0, false, false, "", true},
      {"empty-recording", 1, 0, false, true, "", true},
      {"value", 1, 0, true, false, "", true},
      {"value-recording", 1, 0, true, true, "", true},
      {"placeholder", 1, 0, false, true, "⌃⌥", true},
      {"flat", 1, 3, true, false, "", true},
      {"disabled", 1, 0, true, false, "", false},
      {"zh-empty", 0, 0, false, false, "", true},
      {"zh-value-recording", 0, 0, true, true, "", true},
      {"textured", 1, 1, true, false, "", true},
  };
  QWidget sheet;
  auto* rows = new QVBoxLayout(&sheet);
  std::vector<KivShortcutView*> views;
  for (const Shot& shot : shots) {
    auto* row = new QHBoxLayout();
    auto* label = new QLabel(QString::fromUtf8(shot.name), &sheet);
    label->setMinimumWidth(140);
    auto* view = new KivShortcutView(&sheet);
    view->setMinimumWidth(180);
    row->addWidget(label);
    row->addWidget(view);
    rows->addLayout(row);
    views.push_back(view);
  }
  sheet.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
  // A recorder records only while it is the current one: grab each in its state
  // and paste it into one picture of the sheet.
  QPixmap composite = sheet.grab();
  QPainter painter(&composite);
  for (std::size_t i = 0; i < views.size(); ++i) {
    const Shot& shot = shots[i];
    KivShortcutView* view = views[i];
    CurrentLanguage = shot.language;
    view->setShortcutStyle(shot.style);
    view->setShortcutValue(shot.hasValue ? std::optional(KivShortcut(15, kControl | kOption)) : std::nullopt);
    view->setRecording(shot.recording);
    view->setShortcutPlaceholder(QString::fromUtf8(shot.placeholder));
    view->setEnabled(shot.enabled);
    const QPixmap picture = view->grab();
    painter.drawPixmap(view->geometry().topLeft(), picture);
    test::saveScreenshot(view, QStringLiteral("recorder-") + QString::fromUtf8(shot.name));
    view->setRecording(false);
  }
  painter.end();
  const QString buildDir = qEnvironmentVariable("OSTREL_BUILD_DIR");
  if (!buildDir.isEmpty()) {
    EXPECT_TRUE(composite.save(buildDir + QStringLiteral("/screenshots/recorder-states.png")));
  }
}

}  // namespace
}  // namespace ostrel
