// The main window as the user sees it: what the monitor's reports select and
// enable, relabelling, the monitor list, and what the window does with no monitor.
#include "MainWindowHarness.h"
#include "common/Log.h"
#include "mainwindow/MainWindowTexts.h"
#include "mainwindow/MenuTexts.h"
#include "monitor/MonitorState.h"
#include "settings/ProgramValues.h"
#include "support/EventLoopWait.h"
#include "support/OstrelProcess.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>

namespace ostrel::test {
namespace {

class MainWindowDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override { resetProcessState(); }
  void TearDown() override { resetProcessState(); }
};

enum class Handler { Threshold, Mode, Speed, FrontLightMode };

TEST_F(MainWindowDisplayTest, ListReportsStoreThePositionSelectItAndEnableTheList) {
  struct Case {
    const char* name;
    Handler handler;
    std::int32_t value;
    std::int32_t stored;
    int shown;  // -1: no selection
  };
  const Case cases[] = {
      {"contrast 1", Handler::Threshold, 1, 0, 0},
      {"contrast 9", Handler::Threshold, 9, 8, 8},
      {"contrast 0 has no entry", Handler::Threshold, 0, -1, -1},
      {"contrast 10 has no entry", Handler::Threshold, 10, 9, -1},
      {"image mode 0 reads as text", Handler::Mode, 0, 0, 0},
      {"image mode 1 reads as text", Handler::Mode, 1, 0, 0},
      {"image mode 3", Handler::Mode, 3, 1, 1},
      {"image mode 4 is video", Handler::Mode, 4, 2, 2},
      {"image mode 5 has no entry", Handler::Mode, 5, 3, -1},
      {"speed 1", Handler::Speed, 1, 0, 0},
      {"speed 5", Handler::Speed, 5, 4, 4},
      {"speed 0 has no entry", Handler::Speed, 0, -1, -1},
      {"speed 7 has no entry", Handler::Speed, 7, 6, -1},
      {"front light off", Handler::FrontLightMode, 0, 0, 0},
      {"front light mixed", Handler::FrontLightMode, 3, 3, 3},
      {"front light 9 has no entry", Handler::FrontLightMode, 9, 9, -1},
  };
  LoadedWindow window;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QComboBox* list = nullptr;
    std::int32_t* stored = nullptr;
    switch (c.handler) {
      case Handler::Threshold:
        window->updateViewThresholdDisplay(c.value);
        list = window->thresholdInfo();
        stored = &currentThresholdValue;
        break;
      case Handler::Mode:
        window->updateViewModeDisplay(c.value);
        list = window->modeInfo();
        stored = &currentModeValue;
        break;
      case Handler::Speed:
        window->updateViewSpeedDisplay(c.value);
        list = window->speedInfo();
        stored = &currentSpeedValue;
        break;
      case Handler::FrontLightMode:
        window->updateViewFrontLightModeDisplay(c.value);
        list = window->frontLightModeInfo();
        stored = &currentFrontLightModeValue;
        break;
    }
    EXPECT_EQ(*stored, c.stored);
    EXPECT_EQ(list->currentIndex(), c.shown);
    EXPECT_TRUE(list->isEnabled());
    if (c.shown < 0) {
      EXPECT_TRUE(list->currentText().isEmpty());
    }
    // The list itself is whole: every entry still there, and the next good
    // value shows again.
    const int entries = list->count();
    EXPECT_GT(entries, 0);
    switch (c.handler) {
      case Handler::Threshold:
        window->updateViewThresholdDisplay(2);
        break;
      case Handler::Mode:
        window->updateViewModeDisplay(3);
        break;
      case Handler::Speed:
        window->updateViewSpeedDisplay(2);
        break;
      case Handler::FrontLightMode:
        window->updateViewFrontLightModeDisplay(1);
        break;
    }
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_EQ(list->count(), entries);
  }
}

TEST_F(MainWindowDisplayTest, SliderReportsAreKeptWithinTheirRangeAndLeaveTheSliderAsItWas) {
  struct Case {
    std::int32_t value;
    std::int32_t shown;
  };
  const Case cases[] = {{0, 0}, {55, 55}, {100, 100}, {200, 100}, {-5, 0}, {101, 100}};
  LoadedWindow window;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    window->updateViewFrontBrightnessValueDisplay(c.value);
    EXPECT_EQ(currentFrontBrightnessValue, c.shown);
    EXPECT_EQ(window->frontModeBrightnessInfo()->value(), c.shown);
    window->updateViewFrontTemperatureValueDisplay(c.value);
    EXPECT_EQ(currentFrontTemperatureValue, c.shown);
    EXPECT_EQ(window->frontModeTemperatureInfo()->value(), c.shown);
    EXPECT_FALSE(window->frontModeBrightnessInfo()->isEnabled());
    EXPECT_FALSE(window->frontModeTemperatureInfo()->isEnabled());
  }
}

TEST_F(MainWindowDisplayTest, FrontLightReportEnablesTheSlidersOnlyOnVersion48) {
  struct Case {
    std::int32_t version;
    std::int32_t mode;
    bool brightness;
    bool temperature;
  };
  const Case cases[] = {
      {48, 0, false, false}, {48, 1, true, false},  {48, 2, true, false},  {48, 3, true, true},
      {32, 2, false, false}, {32, 3, false, false}, {16, 3, false, false}, {48, 9, true, false},
  };
  LoadedWindow window;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "version " << c.version << " mode " << c.mode);
    window->updateViewCurrentMCUVersion(c.version);
    window->updateViewFrontLightModeDisplay(c.mode);
    EXPECT_TRUE(window->frontLightModeInfo()->isEnabled());
    EXPECT_EQ(window->frontModeBrightnessInfo()->isEnabled(), c.brightness);
    EXPECT_EQ(window->frontModeTemperatureInfo()->isEnabled(), c.temperature);
  }
}

TEST_F(MainWindowDisplayTest, AtLoadEveryControlIsDisabledAndTheListShowsThePlaceholder) {
  LoadedWindow window;
  EXPECT_EQ(window->displaySerialPort()->count(), 1);
  EXPECT_EQ(window->displaySerialPort()->currentText(), QStringLiteral("无匹配"));
  for (QWidget* control : std::initializer_list<QWidget*>{
           window->thresholdInfo(), window->modeInfo(), window->speedInfo(), window->frontLightModeInfo(),
           window->frontModeBrightnessInfo(), window->frontModeTemperatureInfo()}) {
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  }
  for (QComboBox* list :
       {window->thresholdInfo(), window->modeInfo(), window->speedInfo(), window->frontLightModeInfo()}) {
    EXPECT_EQ(list->currentIndex(), 0) << list->objectName().toStdString();
  }
  EXPECT_EQ(window->thresholdInfo()->count(), 9);
  EXPECT_EQ(window->speedInfo()->itemText(4), QStringLiteral("Fast++++"));
}

// Every caption, button and word list in the language chosen.
void expectLanguage(ViewController& window, std::int32_t language) {
  const MainWindowTexts& t = MainWindowTexts::forLanguage(language);
  QMainWindow* w = window.window();
  const std::pair<const char*, QString> captions[] = {
      {"portTitleInfo", t.portTitleInfo},
      {"thresholdTitleInfo", t.thresholdTitleInfo},
      {"modeTitleInfo", t.modeTitleInfo},
      {"speedTitleInfo", t.speedTitleInfo},
      {"frontLightModeTitleInfo", t.frontLightModeTitleInfo},
      {"frontBrightnessTitleInfo", t.frontBrightnessTitleInfo},
      {"frontBrightnessDarkTitleInfo", t.frontBrightnessDarkTitleInfo},
      {"frontBrightnessBrightTitleInfo", t.frontBrightnessBrightTitleInfo},
      {"frontTemperatureTitleInfo", t.frontTemperatureTitleInfo},
      {"frontTemperatureWarmTitleInfo", t.frontTemperatureWarmTitleInfo},
      {"frontTemperatureColdTitleInfo", t.frontTemperatureColdTitleInfo},
  };
  for (const auto& [name, text] : captions) {
    auto* label = w->findChild<QLabel*>(QLatin1String(name));
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(label->text(), text) << name;
  }
  const std::pair<const char*, QString> buttons[] = {
      {"timeSyncButton", t.timeSyncButton},
      {"paramButton", t.paramButton},
      {"hardRefreshButton", t.hardRefreshButton},
      {"clientSettingsButton", t.clientSettingsButton},
  };
  for (const auto& [name, text] : buttons) {
    auto* button = w->findChild<QPushButton*>(QLatin1String(name));
    ASSERT_NE(button, nullptr) << name;
    EXPECT_EQ(button->text(), text) << name;
  }
  QStringList modes, lights;
  for (int i = 0; i < window.modeInfo()->count(); ++i) modes << window.modeInfo()->itemText(i);
  for (int i = 0; i < window.frontLightModeInfo()->count(); ++i) lights << window.frontLightModeInfo()->itemText(i);
  EXPECT_EQ(modes, t.imageModes);
  EXPECT_EQ(lights, t.frontLightModes);
  // Tool tips and the menu, mnemonics included.
  const std::pair<QWidget*, QString> tips[] = {
      {window.displaySerialPort(), t.displaySerialPortToolTip},
      {window.thresholdInfo(), t.thresholdInfoToolTip},
      {window.modeInfo(), t.modeInfoToolTip},
      {window.speedInfo(), t.speedInfoToolTip},
      {window.frontLightModeInfo(), t.frontLightModeInfoToolTip},
      {window.frontModeBrightnessInfo(), t.frontModeBrightnessInfoToolTip},
      {window.frontModeTemperatureInfo(), t.frontModeTemperatureInfoToolTip},
  };
  for (const auto& [control, tip] : tips) EXPECT_EQ(control->toolTip(), tip) << control->objectName().toStdString();
  const MenuTexts& m = MenuTexts::forLanguage(language);
  EXPECT_EQ(window.ostrelMenu()->title(), m.ostrelMenu);
  QStringList items;
  for (QAction* action : window.ostrelMenu()->actions()) {
    if (!action->isSeparator()) items << action->text();
  }
  EXPECT_EQ(items, (QStringList{m.settings, m.startAtLogin, m.quit}));
  EXPECT_EQ(window.quitAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
}

// Real keys on the test's X server, with the window in front.
bool pressKeys(QMainWindow* w, const QString& keys) {
  w->show();
  w->activateWindow();
  if (!runEventLoopUntil([w] { return w->isActiveWindow(); }, 10000)) return false;
  return xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

TEST_F(MainWindowDisplayTest, MenuMnemonicsAndTheQuitShortcutWorkInBothLanguages) {
  for (const std::int32_t language : {0, 1}) {
    SCOPED_TRACE(language == 0 ? "Chinese" : "English");
    LoadedWindow window;
    CurrentLanguage = language;
    window->setViewDisplay();
    int settingsOpened = 0;
    window->setSettingsPresenter([&settingsOpened] { ++settingsOpened; });
    QMainWindow* w = window->window();
    QMenu* menu = window->ostrelMenu();
    const auto pick = [&](const char* letter) {
      if (!pressKeys(w, QStringLiteral("alt+o"))) return false;
      if (!runEventLoopUntil([menu] { return menu->isVisible(); }, 10000)) return false;
      return xdotool({QStringLiteral("key"), QString::fromLatin1(letter)}) &&
             runEventLoopUntil([menu] { return !menu->isVisible(); }, 10000);
    };

    ASSERT_TRUE(pick("s"));
    EXPECT_TRUE(runEventLoopUntil([&] { return settingsOpened == 1; }, 5000));
    const bool checked = window->startAtLoginAction()->isChecked();
    ASSERT_TRUE(pick("l"));
    EXPECT_TRUE(runEventLoopUntil([&] { return window->startAtLoginAction()->isChecked() != checked; }, 5000));
    ASSERT_TRUE(pick("q"));
    EXPECT_TRUE(runEventLoopUntil([w] { return !w->isVisible(); }, 5000)) << "Quit did not close the window";

    ASSERT_TRUE(pressKeys(w, QStringLiteral("ctrl+q")));
    EXPECT_TRUE(runEventLoopUntil([w] { return !w->isVisible(); }, 5000)) << "Ctrl+Q did not close the window";
    EXPECT_EQ(settingsOpened, 1);
  }
}

TEST_F(MainWindowDisplayTest, RelabellingWithoutAMonitorChangesEveryTextAndThePlaceholder) {
  struct Case {
    std::int32_t from;
    std::int32_t to;
    const char* placeholder;
  };
  const Case cases[] = {{0, 1, "No Match"}, {1, 0, "无匹配"}, {0, 5, "No Match"}, {5, 0, "无匹配"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
    LoadedWindow window;  // in the stored language: none is stored, so Chinese
    expectLanguage(*window, 0);
    CurrentLanguage = c.from;
    window->setViewDisplay();
    expectLanguage(*window, c.from);
    // Selections and enabled states made before the relabelling survive it.
    window->updateViewModeDisplay(4);
    window->updateViewFrontLightModeDisplay(2);
    window->updateViewThresholdDisplay(7);
    window->updateViewSpeedDisplay(3);
    CurrentLanguage = c.to;
    window->setViewDisplay();
    expectLanguage(*window, c.to);
    EXPECT_EQ(window->displaySerialPort()->count(), 1);
    EXPECT_EQ(window->displaySerialPort()->currentText(), QString::fromUtf8(c.placeholder));
    EXPECT_EQ(window->noDevStr(), QString::fromUtf8(c.placeholder));
    EXPECT_EQ(window->modeInfo()->currentIndex(), 2);
    EXPECT_EQ(window->frontLightModeInfo()->currentIndex(), 2);
    EXPECT_EQ(window->thresholdInfo()->currentIndex(), 6);
    EXPECT_EQ(window->speedInfo()->currentIndex(), 2);
    for (QComboBox* list :
         {window->modeInfo(), window->frontLightModeInfo(), window->thresholdInfo(), window->speedInfo()}) {
      EXPECT_TRUE(list->isEnabled()) << list->objectName().toStdString();
    }
  }
}

TEST_F(MainWindowDisplayTest, RelabellingKeepsAnUnshowableModeUnselected) {
  LoadedWindow window;
  window->updateViewModeDisplay(9);
  window->updateViewFrontLightModeDisplay(7);
  CurrentLanguage = 1;
  window->setViewDisplay();
  EXPECT_EQ(window->modeInfo()->currentIndex(), -1);
  EXPECT_EQ(window->frontLightModeInfo()->currentIndex(), -1);
  EXPECT_EQ(window->modeInfo()->count(), 3);
  EXPECT_EQ(window->frontLightModeInfo()->count(), 4);
}

TEST_F(MainWindowDisplayTest, ActionsWithoutAMonitorAreRefusedWithALogLineEach) {
  struct Case {
    const char* name;
    std::function<void(ViewController&)> act;
    int refusals;
  };
  const Case cases[] = {
      {"Fast Refresh", [](ViewController& w) { w.hardRefreshAction(); }, 1},
      {"Time Sync", [](ViewController& w) { w.realTimeClockAction(); }, 1},
      {"Get Parameters (no front light)", [](ViewController& w) { w.syncParametersAction(); }, 3},
      {"contrast list", [](ViewController& w) { w.thresholdCheckAction(); }, 1},
      {"image mode list", [](ViewController& w) { w.modeCheckAction(); }, 1},
      {"speed list", [](ViewController& w) { w.speedCheckAction(); }, 1},
      {"front light list", [](ViewController& w) { w.frontModeCheckAction(); }, 1},
      {"refresh shortcut", [](ViewController& w) { w.setFromRefreshShortCutInfo(); }, 1},
      {"contrast up shortcut", [](ViewController& w) { w.setFromThresholdShortCutValue(); }, 2},
      {"contrast down shortcut", [](ViewController& w) { w.setFromThresholdDownShortCutValue(); }, 2},
  };
  LoadedWindow window;
  runEventLoopFor(1500);  // load's own settling
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    c.act(*window);
    const QString refusal = QStringLiteral("需要弹窗显示异常 currentPort = (null)");
    EXPECT_TRUE(runEventLoopUntil([&] { return log.count(refusal) >= c.refusals; }, 5000))
        << log.lines().join('\n').toStdString();
    runEventLoopFor(400);
    EXPECT_EQ(log.count(refusal), c.refusals) << log.lines().join('\n').toStdString();
  }
}

}  // namespace
}  // namespace ostrel::test
