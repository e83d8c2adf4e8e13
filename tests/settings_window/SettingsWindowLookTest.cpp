// The settings window's layout in both languages: nothing clipped, captions
// aligned, the same size in both, and screenshots to look at.

#include "SettingsWindowFixture.h"
#include "settings/ProgramValues.h"
#include "shortcuts/view/KivShortcutView.h"
#include "support/EventLoopWait.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace ostrel {
namespace {

using test::SettingsWindowTest;

constexpr quint64 kControl = 0x40000;
constexpr quint64 kOption = 0x80000;

void expectNothingClipped(TestSecondView* view) {
  const QList<QWidget*> texts{view->refreshHotKey(),
                              view->thresholdHotKey(),
                              view->thresholdUp(),
                              view->thresholdDown(),
                              view->languageSettings(),
                              view->autoRefreshCheck(),
                              view->autoUnit(),
                              view->buttonExit(),
                              view->buttonOK(),
                              view->currentLanguageInfo(),
                              view->pauseWhileIdleCheck(),
                              view->pageRefreshTitle(),
                              view->pageRefreshUnit()};
  for (QWidget* widget : texts) {
    SCOPED_TRACE(widget->objectName().toStdString());
    EXPECT_GE(widget->width(), widget->sizeHint().width());
    EXPECT_GE(widget->height(), widget->minimumSizeHint().height());
    EXPECT_TRUE(view->rect().contains(widget->geometry().translated(widget->parentWidget()->mapTo(view, QPoint()))));
  }
  for (KivShortcutView* recorder :
       {view->refreshHotCutView(), view->thresholdInfocutView(), view->thresholdDownInfocutView()}) {
    EXPECT_GE(recorder->width(), recorder->sizeHint().width());
    EXPECT_GE(recorder->height(), recorder->sizeHint().height());
  }
}

TEST_F(SettingsWindowTest, BothLanguagesFitTheSameTidyWindow) {
  RefreshHotkeyKeyCode = 2;
  RefreshHotkeyModifierFlags = kControl;
  ThresholdInfoHotkeyKeyCode = 32;
  ThresholdInfoHotkeyModifierFlags = kControl | kOption;
  store(QStringLiteral("autoClearCheckValue"), 1);
  store(QStringLiteral("autoClearValue"), 30);
  TestSecondView* view = open();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view));

  expectNothingClipped(view);
  const QSize chineseSize = view->size();
  test::saveScreenshot(view, QStringLiteral("settings-chinese"));

  view->currentLanguageInfo()->setFocus();
  QTest::keyClick(view->currentLanguageInfo(), Qt::Key_Down);
  test::runEventLoopFor(100);
  expectNothingClipped(view);
  EXPECT_EQ(view->size(), chineseSize) << "switching the language does not resize the window";
  test::saveScreenshot(view, QStringLiteral("settings-english"));

  // Captions of the left column start at the same x; the recorders line up.
  EXPECT_EQ(view->refreshHotKey()->x(), view->languageSettings()->x());
  EXPECT_EQ(view->thresholdHotKey()->x(), view->languageSettings()->x());
  EXPECT_EQ(view->autoRefreshCheck()->x(), view->languageSettings()->x());
  EXPECT_EQ(view->pageRefreshTitle()->x(), view->languageSettings()->x());
  // The idle pause sits under the period it belongs to; both fields line up.
  EXPECT_EQ(view->pauseWhileIdleCheck()->x(), view->currentLanguageInfo()->x());
  EXPECT_EQ(view->pageRefreshValue()->x(), view->autoRefreshValue()->x());
  EXPECT_EQ(view->refreshHotCutView()->x(), view->thresholdInfocutView()->x());
  EXPECT_EQ(view->refreshHotCutView()->x(), view->thresholdDownInfocutView()->x());
  EXPECT_EQ(view->refreshHotCutView()->x(), view->currentLanguageInfo()->x());
  EXPECT_GE(view->width(), 360);

  KivShortcutView* up = view->thresholdInfocutView();
  QTest::mouseClick(up, Qt::LeftButton, Qt::NoModifier, QPoint(10, up->height() / 2));
  ASSERT_TRUE(up->isRecording());
  test::saveScreenshot(view, QStringLiteral("settings-english-recording"));
  up->setRecording(false);

  QTest::mouseClick(view->autoRefreshCheck(), Qt::LeftButton);
  test::saveScreenshot(view, QStringLiteral("settings-english-auto-clear-off"));
}

}  // namespace
}  // namespace ostrel
