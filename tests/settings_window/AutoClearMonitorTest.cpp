// The auto-clear decisions of the settings window's OK, seen where they matter:
// the refresh frames a simulated monitor receives on its serial line.

#include "mainwindow/ViewController.h"
#include "monitor/MonitorState.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"
#include "settings/window/TestSecondView.h"
#include "support/EventLoopWait.h"
#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

namespace ostrel {
namespace {

const QByteArray kRefreshFrame = "5FF50301000000000000A0FA";

class AutoClearMonitorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Started with posix_spawn (SimulatedMonitor), not QProcess: ThreadSanitizer
    // forbids new threads after a fork in a threaded process.
    simulator = new test::SimulatedMonitor(48, QStringLiteral("ostrel-sim0"));
    QString error;
    ASSERT_TRUE(simulator->start(&error)) << error.toStdString();

    mainWindow = new std::shared_ptr<ViewController>(std::make_shared<ViewController>());
    (*mainWindow)->viewDidLoad();
    (*mainWindow)->window()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed((*mainWindow)->window()));
    // Discovery accepts the simulator as the current monitor.
    ASSERT_TRUE(test::runEventLoopUntil([] { return caluPortsArr && !caluPortsArr->isEmpty(); }, 30000));
  }

  static void TearDownTestSuite() {
    if (mainWindow) (*mainWindow)->setAutoClearGhostDelay(0);
    VCInstance.reset();
    mainViewController.reset();
    delete mainWindow;
    mainWindow = nullptr;
    delete simulator;
    simulator = nullptr;
  }

  void SetUp() override {
    (*mainWindow)->setAutoClearGhostDelay(0);
    test::runEventLoopFor(300);
    received();  // forget what came before
  }

  // Frames the simulator received since the last call.
  static QList<QByteArray> received() {
    static std::size_t seen = 0;
    QList<QByteArray> frames;
    const std::vector<test::ReceivedFrame> all = simulator->frames();
    for (std::size_t i = seen; i < all.size(); ++i) frames.append(all[i].text);
    seen = all.size();
    return frames;
  }

  static int refreshesWithin(int ms) {
    int count = 0;
    test::runEventLoopFor(ms);
    for (const QByteArray& frame : received()) count += frame.toUpper() == kRefreshFrame;
    return count;
  }

  void confirm(qint64 openedCheck, qint64 openedPeriod, bool clickCheckBox) {
    PreferenceStore& store = PreferenceStore::standard();
    store.setIntegerForKey(QStringLiteral("autoClearCheckValue"), openedCheck);
    store.setIntegerForKey(QStringLiteral("autoClearValue"), openedPeriod);
    ASSERT_TRUE(store.synchronize());
    QPointer<TestSecondView> view = TestSecondView::presentFrom((*mainWindow)->window());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    if (clickCheckBox) QTest::mouseClick(view->autoRefreshCheck(), Qt::LeftButton);
    QTest::mouseClick(view->buttonOK(), Qt::LeftButton);
    ASSERT_TRUE(test::runEventLoopUntil([&view] {
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      return view.isNull();
    }));
  }

  static test::SimulatedMonitor* simulator;
  static std::shared_ptr<ViewController>* mainWindow;
};

test::SimulatedMonitor* AutoClearMonitorTest::simulator = nullptr;
std::shared_ptr<ViewController>* AutoClearMonitorTest::mainWindow = nullptr;

TEST_F(AutoClearMonitorTest, SwitchingItOnSendsOneRefreshAtOnce) {
  confirm(0, 30, true);
  // The timer runs on a thread of its own and the frame crosses a pseudo-terminal:
  // generous on a busy machine.
  int refreshes = 0;
  test::runEventLoopUntil(
      [&refreshes] {
        refreshes += refreshesWithin(50);
        return refreshes > 0;
      },
      10000);
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(refreshesWithin(1500), 0) << "the next one is 30 seconds away";
}

TEST_F(AutoClearMonitorTest, UnchangedItLeavesTheRunningTimerAlone) {
  (*mainWindow)->setAutoClearGhostDelay(30);
  test::runEventLoopUntil([] { return refreshesWithin(50) > 0; }, 10000);  // arming refreshes once
  confirm(1, 30, false);
  EXPECT_EQ(refreshesWithin(2000), 0) << "not restarted, so no refresh at once";
}

TEST_F(AutoClearMonitorTest, SwitchingItOffSendsNothing) {
  confirm(1, 30, true);
  EXPECT_EQ(refreshesWithin(2000), 0);
}

}  // namespace
}  // namespace ostrel
