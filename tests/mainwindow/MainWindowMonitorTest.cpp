// The main window with a simulated monitor on a pseudo-terminal: what goes out
// on the line (frames, order, spacing), what the answers show, and what the
// user's choices send.
#include "MainWindowHarness.h"
#include "common/Log.h"
#include "mainwindow/MainWindowTexts.h"
#include "mainwindow/MonitorAdapterMemory.h"
#include "monitor/MonitorState.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"
#include "support/ChildProcess.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QWindow>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

class MainWindowMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override { resetProcessState(); }
  void TearDown() override {
    window.reset();
    resetProcessState();
  }

  void load(int version) {
    monitor = std::make_unique<SimulatedMonitor>(version, uniqueMonitorName());
    QString error;
    ASSERT_TRUE(loadWithMonitor(*monitor, window, &error)) << error.toStdString();
  }

  // The user picks `position` in `list` (what a click on an entry does).
  static void choose(QComboBox* list, int position) {
    list->setCurrentIndex(position);
    Q_EMIT list->activated(position);
  }

  std::unique_ptr<SimulatedMonitor> monitor;
  std::unique_ptr<LoadedWindow> window;
};

// The spacing of these sequences (a second after the probe, a third of a
// second between requests) is measured by bench_main_thread: seen from the
// monitor, a gap depends on when a loaded machine lets the reader run.
TEST_F(MainWindowMonitorTest, ReadBackAfterAcceptanceSendsTheVersionsRequestsAndShowsTheAnswers) {
  struct Case {
    int version;
    QList<int> identifiers;
  };
  const Case cases[] = {{16, {1, 2, 4}}, {32, {1, 2, 4}}, {48, {1, 2, 4, 7, 9, 8}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    resetProcessState();
    load(c.version);
    if (HasFatalFailure()) return;
    const std::vector<ReceivedFrame> frames = monitor->frames();
    QList<QByteArray> expected{probeFrame()};
    for (int id : c.identifiers) expected << readRequest(id);
    ASSERT_EQ(frameTexts(frames), expected);

    // The simulator's factory settings: contrast 5, text mode, speed 3, light off.
    EXPECT_EQ((*window)->thresholdInfo()->currentText(), QStringLiteral("5"));
    EXPECT_EQ((*window)->modeInfo()->currentIndex(), 0);
    EXPECT_EQ((*window)->speedInfo()->currentText(), QStringLiteral("Fast++"));
    for (QComboBox* list : {(*window)->thresholdInfo(), (*window)->modeInfo(), (*window)->speedInfo()}) {
      EXPECT_TRUE(list->isEnabled()) << list->objectName().toStdString();
    }
    EXPECT_EQ((*window)->frontLightModeInfo()->isEnabled(), c.version == 48);
    EXPECT_FALSE((*window)->frontModeBrightnessInfo()->isEnabled());
    EXPECT_FALSE((*window)->frontModeTemperatureInfo()->isEnabled());
    EXPECT_EQ((*window)->displaySerialPort()->currentText(), QFileInfo(monitor->linkPath()).fileName());
    window.reset();
    monitor.reset();
  }
}

TEST_F(MainWindowMonitorTest, TheMonitorsAdapterReachesThePreferenceFileAndIsAskedFirstByTheNextWindow) {
  load(48);
  if (HasFatalFailure()) return;
  const QString identity = QStringLiteral("path:") + monitor->linkPath();
  // Written off the main thread; the next window's load reads it back.
  ASSERT_TRUE(
      runEventLoopUntil([&] { return rememberedMonitorAdapter(PreferenceStore::standard()) == identity; }, 10000));
  QFile file(PreferenceStore::standardFilePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains(("monitorAdapter=" + identity).toUtf8()));
}

TEST(MonitorAdapterMemoryTest, AnswersAtOnceAndLosesNoWriteWhenItGoes) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  PreferenceStore store(folder.filePath(QStringLiteral("Ostrel.conf")));
  const QStringList identities = {QStringLiteral("usb:1a86:7523:A1"), QStringLiteral("path:/dev/ttyUSB3")};
  {
    MonitorAdapterMemory memory(store);
    for (const QString& identity : identities) {
      memory.remember(identity);
      EXPECT_EQ(memory.recall(), identity) << "at once, whether or not the file has it yet";
    }
    LogCapture log;
    memory.remember(QStringLiteral("not an adapter"));
    EXPECT_EQ(memory.recall(), identities.back());
    memory.waitForWrites();
    EXPECT_EQ(log.lines().filter(QStringLiteral("names no adapter; it is not stored")).size(), 1);
  }
  // Gone right after the last write was handed over: it is in the file all the same.
  PreferenceStore reread(folder.filePath(QStringLiteral("Ostrel.conf")));
  EXPECT_EQ(rememberedMonitorAdapter(reread), identities.back());
  {
    MonitorAdapterMemory memory(store);
    memory.remember(identities.front());
  }
  PreferenceStore again(folder.filePath(QStringLiteral("Ostrel.conf")));
  EXPECT_EQ(rememberedMonitorAdapter(again), identities.front());
}

TEST_F(MainWindowMonitorTest, GetParametersRepeatsTheReadBackWithoutHoldingUpTheWindow) {
  load(48);
  if (HasFatalFailure()) return;
  const std::size_t from = monitor->frameCount();
  (*window)->window()->findChild<QPushButton*>(QStringLiteral("paramButton"))->click();
  // The click is back before its last request has even been written: the
  // waits between the requests are the event loop's, not a sleep in the click.
  const auto clickReturned = MonotonicClock::now();
  const std::vector<ReceivedFrame> frames = waitForFrames(*monitor, from + 6);
  ASSERT_EQ(frameTexts(frames, from), (QList<QByteArray>{readRequest(1), readRequest(2), readRequest(4), readRequest(7),
                                                         readRequest(9), readRequest(8)}));
  EXPECT_GT(frames.back().at, clickReturned);
}

TEST_F(MainWindowMonitorTest, FrontLightChoiceSetsTheSlidersAndSendsTheMode) {
  struct Case {
    int position;
    bool brightness;
    bool temperature;
    QByteArray frame;
  };
  const Case cases[] = {
      {3, true, true, commandFrame(7, 3)},
      {0, false, false, commandFrame(7, 0)},
      {1, true, false, commandFrame(7, 1)},
      {2, true, false, commandFrame(7, 2)},
      // Nothing selected: not "off", and the position goes out as it is, unclamped.
      {-1, true, false, commandFrame(7, 0xFF)},
  };
  load(48);
  if (HasFatalFailure()) return;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    const std::size_t from = monitor->frameCount();
    choose((*window)->frontLightModeInfo(), c.position);
    EXPECT_EQ(currentFrontLightModeValue, c.position);
    EXPECT_EQ((*window)->frontModeBrightnessInfo()->isEnabled(), c.brightness);
    EXPECT_EQ((*window)->frontModeTemperatureInfo()->isEnabled(), c.temperature);
    EXPECT_TRUE(waitForFrameWhileRunning(*monitor, c.frame, from).has_value());
  }
}

TEST_F(MainWindowMonitorTest, ListChoicesAndSlidersSendTheirCommands) {
  struct Case {
    const char* name;
    std::function<void(ViewController&)> act;
    QByteArray frame;
  };
  const Case cases[] = {
      {"contrast 7", [](ViewController& w) { choose(w.thresholdInfo(), 6); }, commandFrame(1, 7)},
      {"video mode", [](ViewController& w) { choose(w.modeInfo(), 2); }, commandFrame(2, 4)},
      {"speed Fast++++", [](ViewController& w) { choose(w.speedInfo(), 4); }, commandFrame(4, 5)},
      {"no contrast selected", [](ViewController& w) { choose(w.thresholdInfo(), -1); }, commandFrame(1, 1)},
      {"no mode selected", [](ViewController& w) { choose(w.modeInfo(), -1); }, commandFrame(2, 2)},
      {"no speed selected", [](ViewController& w) { choose(w.speedInfo(), -1); }, commandFrame(4, 1)},
      {"brightness 80", [](ViewController& w) { w.frontModeBrightnessInfo()->setValue(80); }, commandFrame(9, 80)},
      {"temperature 20", [](ViewController& w) { w.frontModeTemperatureInfo()->setValue(20); }, commandFrame(8, 20)},
      {"Fast Refresh", [](ViewController& w) { w.hardRefreshAction(); }, commandFrame(3, 1)},
      {"Time Sync", [](ViewController& w) { w.realTimeClockAction(); }, commandFrame(5, 0)},
      {"refresh shortcut", [](ViewController& w) { w.setFromRefreshShortCutInfo(); }, commandFrame(3, 1)},
  };
  load(48);
  if (HasFatalFailure()) return;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t from = monitor->frameCount();
    c.act(**window);
    const auto at = waitForFrameWhileRunning(*monitor, c.frame, from);
    ASSERT_TRUE(at.has_value()) << frameTexts(monitor->frames(), from).join(' ').toStdString();
    EXPECT_EQ(*at, from) << "the command is the first frame sent";
  }
}

TEST_F(MainWindowMonitorTest, ContrastStepsWrapAroundAndThenAskForTheContrast) {
  enum class Start { Report, Position, Choice };
  struct Case {
    const char* name;
    Start start;
    int value;  // the reported threshold, the stored position, or the chosen position
    bool up;
    int sent;
  };
  const Case cases[] = {
      {"9 up wraps to 1", Start::Report, 9, true, 1},
      {"1 down wraps to 9", Start::Report, 1, false, 9},
      {"position 0 up", Start::Position, 0, true, 2},
      {"position 0 down", Start::Position, 0, false, 9},
      {"from no position, up", Start::Position, -1, true, 1},
      {"from no position, down", Start::Position, -1, false, 9},
      {"chose 5, up", Start::Choice, 4, true, 6},
      {"4 down", Start::Report, 4, false, 3},
  };
  load(16);
  if (HasFatalFailure()) return;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    switch (c.start) {
      case Start::Report: {
        LogCapture log(false);
        monitor->command("raw " + parameterReport(1, c.value));
        ASSERT_TRUE(runEventLoopUntil(
            [&] { return log.contains(QStringLiteral("updateViewThresholdDisplay thresholdValue = %1").arg(c.value)); },
            10000));
        break;
      }
      case Start::Position:
        currentThresholdValue = c.value;
        break;
      case Start::Choice: {
        const std::size_t before = monitor->frameCount();
        choose((*window)->thresholdInfo(), c.value);
        ASSERT_TRUE(waitForFrameWhileRunning(*monitor, commandFrame(1, c.value + 1), before).has_value());
        break;
      }
    }
    const std::size_t from = monitor->frameCount();
    LogCapture log(false);
    if (c.up) {
      (*window)->setFromThresholdShortCutValue();
    } else {
      (*window)->setFromThresholdDownShortCutValue();
    }
    // The step is back before its request goes out: the pause before asking
    // for the contrast is not spent on the event loop.
    const auto stepReturned = MonotonicClock::now();
    const std::vector<ReceivedFrame> frames = waitForFrames(*monitor, from + 2);
    ASSERT_EQ(frameTexts(frames, from), (QList<QByteArray>{commandFrame(1, c.sent), readRequest(1)}));
    EXPECT_GT(frames[from + 1].at, stepReturned);
    // The monitor's answer to the request is what selects the new contrast.
    EXPECT_TRUE(
        runEventLoopUntil([&] { return (*window)->thresholdInfo()->currentText() == QString::number(c.sent); }, 10000));
    EXPECT_EQ(currentThresholdValue, c.sent - 1);
  }
}

TEST_F(MainWindowMonitorTest, RemovingTheLastMonitorShowsThePlaceholderDisablesTheControlsAndKeepsTheValues) {
  load(48);
  if (HasFatalFailure()) return;
  {
    LogCapture log(false);
    monitor->command("set light 3");
    ASSERT_TRUE(runEventLoopUntil([&] { return (*window)->frontModeTemperatureInfo()->isEnabled(); }, 10000));
  }
  EXPECT_TRUE((*window)->frontModeBrightnessInfo()->isEnabled());
  const PelSerialPortRef accepted = currentPort.load();
  ASSERT_TRUE(accepted);

  LogCapture log(false);
  ASSERT_TRUE(monitor->unplug());
  ASSERT_TRUE(runEventLoopUntil(
      [&] { return log.contains(QStringLiteral("updateMainViewContent no content to display")); }, 15000))
      << log.lines().join('\n').toStdString();
  EXPECT_EQ((*window)->displaySerialPort()->count(), 1);
  EXPECT_EQ((*window)->displaySerialPort()->currentText(), (*window)->noDevStr());
  for (QWidget* control : std::initializer_list<QWidget*>{
           (*window)->thresholdInfo(), (*window)->modeInfo(), (*window)->speedInfo(), (*window)->frontLightModeInfo(),
           (*window)->frontModeBrightnessInfo(), (*window)->frontModeTemperatureInfo()}) {
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  }
  EXPECT_EQ((*window)->thresholdInfo()->currentText(), QStringLiteral("5"));
  EXPECT_EQ(currentFrontLightModeValue, 3);
  EXPECT_EQ(currentMCUVersion, 48);
  // Commands still go to the removed port, which refuses them.
  EXPECT_TRUE(samePort(currentPort.load(), accepted));
  log.clear();
  (*window)->hardRefreshAction();
  EXPECT_EQ(log.count(QStringLiteral("需要弹窗显示异常 currentPort = %1").arg(describe(accepted))), 1)
      << log.lines().join('\n').toStdString();
}

TEST_F(MainWindowMonitorTest, RelabellingWithAMonitorKeepsThePortNameAndThePreviousPlaceholder) {
  load(16);
  if (HasFatalFailure()) return;
  const QString portName = (*window)->displaySerialPort()->currentText();
  ASSERT_FALSE(portName.isEmpty());
  CurrentLanguage = 1;
  (*window)->setViewDisplay();
  EXPECT_EQ((*window)->displaySerialPort()->currentText(), portName);
  EXPECT_EQ((*window)->noDevStr(), QStringLiteral("无匹配"));
  EXPECT_EQ((*window)->window()->findChild<QLabel*>(QStringLiteral("portTitleInfo"))->text(),
            QStringLiteral("Monitor Connected"));
  LogCapture log(false);
  ASSERT_TRUE(monitor->unplug());
  ASSERT_TRUE(runEventLoopUntil(
      [&] { return log.contains(QStringLiteral("updateMainViewContent no content to display")); }, 15000));
  EXPECT_EQ((*window)->displaySerialPort()->currentText(), QStringLiteral("无匹配"));
  (*window)->setViewDisplay();
  EXPECT_EQ((*window)->displaySerialPort()->currentText(), QStringLiteral("No Match"));
}

// Another program had the monitor's port when the window loaded (ostrelctl
// run at login, a terminal program): the window gets its monitor as soon as
// that program lets go, without a replug.
TEST_F(MainWindowMonitorTest, AMonitorAnotherProgramHeldAtLoadIsTheWindowsOnceThatProgramLetsGo) {
  monitor = std::make_unique<SimulatedMonitor>(48, uniqueMonitorName());
  QString error;
  ASSERT_TRUE(monitor->start(&error)) << error.toStdString();
  ASSERT_TRUE(waitUntilListed(*monitor));
  ChildProcess holder;
  ASSERT_TRUE(holdOpen(holder, monitor->linkPath(), &error)) << error.toStdString();
  {
    LogCapture log(false);
    window = std::make_unique<LoadedWindow>();
    ASSERT_TRUE(runEventLoopUntil(
        [&] { return log.contains(QStringLiteral("updateMainViewContent ***************************************")); },
        10000));
  }
  runEventLoopFor(300);
  EXPECT_EQ(monitor->frameCount(), 0u);
  EXPECT_EQ((*window)->displaySerialPort()->currentText(), (*window)->noDevStr());
  EXPECT_FALSE((*window)->thresholdInfo()->isEnabled());

  holder.stop();
  ASSERT_TRUE(waitForFrameWhileRunning(*monitor, readRequest(8)).has_value())
      << frameTexts(monitor->frames()).join(' ').toStdString();
  EXPECT_EQ(frameTexts(monitor->frames()).value(0), probeFrame());
  ASSERT_TRUE(runEventLoopUntil([&] { return (*window)->thresholdInfo()->isEnabled(); }, 10000));
  EXPECT_EQ((*window)->displaySerialPort()->currentText(), monitor->linkPath().section(QLatin1Char('/'), -1));
  EXPECT_EQ(currentMCUVersion, 48);
}

// Texts and controls that do not fit their place, by name.
QStringList clippedWidgets(QWidget* root) {
  QStringList clipped;
  for (QLabel* label : root->findChildren<QLabel*>()) {
    if (label->isVisible() && label->width() < label->sizeHint().width()) clipped << label->objectName();
  }
  for (QPushButton* button : root->findChildren<QPushButton*>()) {
    if (button->isVisible() && button->width() < button->sizeHint().width()) clipped << button->objectName();
  }
  for (QComboBox* list : root->findChildren<QComboBox*>()) {
    if (list->isVisible() && list->width() < list->minimumSizeHint().width()) clipped << list->objectName();
  }
  return clipped;
}

TEST_F(MainWindowMonitorTest, ScreenshotsInBothLanguagesWithAVersion48Monitor) {
  load(48);
  if (HasFatalFailure()) return;
  {
    monitor->command("set light 3");
    ASSERT_TRUE(runEventLoopUntil([&] { return (*window)->frontModeTemperatureInfo()->isEnabled(); }, 10000));
  }
  QMainWindow* w = (*window)->window();
  w->show();
  (*window)->viewDidAppear();
  ASSERT_TRUE(
      runEventLoopUntil([&] { return w->isVisible() && w->windowHandle() && w->windowHandle()->isExposed(); }, 10000));
  // $OSTREL_BUILD_DIR/screenshots; run by hand, the build directory above bin/.
  QString build = qEnvironmentVariable("OSTREL_BUILD_DIR");
  if (build.isEmpty()) build = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
  const QString dir = build + QStringLiteral("/screenshots");
  ASSERT_TRUE(QDir().mkpath(dir));
  struct Case {
    std::int32_t language;
    const char* file;
  };
  for (const Case& c : {Case{1, "main-window-en"}, Case{0, "main-window-zh"}}) {
    SCOPED_TRACE(c.file);
    CurrentLanguage = c.language;
    (*window)->setViewDisplay();
    // The window as first shown, at its own size.
    w->resize(w->sizeHint().expandedTo(w->minimumSizeHint()));
    runEventLoopFor(300);
    EXPECT_TRUE(clippedWidgets(w).isEmpty()) << clippedWidgets(w).join(' ').toStdString();
    EXPECT_GE(w->width(), w->minimumSizeHint().width());
    // The sliders line up with each other, their left ends with the lists above.
    QSlider* brightness = (*window)->frontModeBrightnessInfo();
    QSlider* temperature = (*window)->frontModeTemperatureInfo();
    EXPECT_EQ(brightness->mapTo(w, QPoint()).x(), temperature->mapTo(w, QPoint()).x());
    EXPECT_EQ(brightness->width(), temperature->width());
    const int listsLeft = (*window)->thresholdInfo()->mapTo(w, QPoint()).x();
    for (const char* end : {"frontBrightnessDarkTitleInfo", "frontTemperatureWarmTitleInfo"}) {
      EXPECT_EQ(w->findChild<QLabel*>(QLatin1String(end))->mapTo(w, QPoint()).x(), listsLeft) << end;
    }
    const QPixmap shot = w->grab();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(dir + QLatin1Char('/') + QLatin1String(c.file) + QStringLiteral(".png")));
    // The Ostrel menu, open, in the same language.
    QMenu* menu = (*window)->ostrelMenu();
    menu->popup(w->mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(runEventLoopUntil([menu] { return menu->windowHandle() && menu->windowHandle()->isExposed(); }, 10000));
    EXPECT_TRUE(menu->grab().save(dir + QLatin1Char('/') + QLatin1String(c.file) + QStringLiteral("-menu.png")));
    menu->hide();
  }
}

}  // namespace
}  // namespace ostrel::test
