// The auto-clear decisions of the settings window's OK, seen where they matter:
// the refresh frames a simulated monitor receives on its serial line.

#include "mainwindow/ViewController.h"
#include "monitor/MonitorState.h"
#include "platform/posix/VirtualPortDirectory.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"
#include "settings/window/TestSecondView.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QTest>

namespace ostrel {
namespace {

const QByteArray kRefreshFrame = "5FF50301000000000000A0FA";

class AutoClearMonitorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    simulator = new QProcess();
    simulator->setProgram(qEnvironmentVariable("OSTREL_BIN_DIR") + QStringLiteral("/ostrel-sim"));
    simulator->setArguments({QStringLiteral("--name"), QStringLiteral("ostrel-sim0")});
    simulator->setProcessChannelMode(QProcess::SeparateChannels);
    simulator->start();
    ASSERT_TRUE(simulator->waitForStarted(10000));
    const QString link = platform::virtualPortDirectoryPath() + QStringLiteral("/ostrel-sim0");
    ASSERT_TRUE(test::runEventLoopUntil([&link] { return QFileInfo(link).exists(); }, 20000));

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
    if (simulator) {
      simulator->terminate();
      simulator->waitForFinished(10000);
      delete simulator;
      simulator = nullptr;
    }
  }

  void SetUp() override {
    (*mainWindow)->setAutoClearGhostDelay(0);
    test::runEventLoopFor(300);
    received();  // forget what came before
  }

  // Frames the simulator printed since the last call.
  static QList<QByteArray> received() {
    static QByteArray pending;
    pending += simulator->readAllStandardOutput();
    QList<QByteArray> frames;
    qsizetype end;
    while ((end = pending.indexOf('\n')) >= 0) {
      frames.append(pending.left(end).trimmed());
      pending.remove(0, end + 1);
    }
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

  static QProcess* simulator;
  static std::shared_ptr<ViewController>* mainWindow;
};

QProcess* AutoClearMonitorTest::simulator = nullptr;
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
