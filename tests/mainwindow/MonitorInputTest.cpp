// The monitor's own keys and pointer controls, end to end: the simulated
// monitor reports an input event on the serial line, Ostrel's window turns it
// into synthetic X input, and a small X client of the test's own sees what
// arrives on the desktop.
#include "DesktopDriver.h"
#include "MainWindowHarness.h"
#include "XTestClient.h"
#include "common/Log.h"
#include "mainwindow/MonitorInputInjection.h"
#include "platform/x11/X11Platform.h"
#include "settings/ProgramValues.h"
#include "support/EventLoopWait.h"
#include "support/OstrelProcess.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <set>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;
using ostrel::testing::XTestClient;
namespace desk = ostrel::testing;

class MonitorInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    resetProcessState();
    QString why;
    std::shared_ptr<platform::InputInjector> injector = platform::createX11InputInjector(&why);
    ASSERT_TRUE(injector) << why.toStdString();
    client = new XTestClient;
    monitor = new SimulatedMonitor(48, uniqueMonitorName());
    QString error;
    ASSERT_TRUE(loadWithMonitor(*monitor, window, &error, injector)) << error.toStdString();
  }
  static void TearDownTestSuite() {
    window.reset();
    delete monitor;
    delete client;
    resetProcessState();
  }

  void SetUp() override {
    ASSERT_TRUE(window) << "no window";
    client->focus();
    desk::settle(*client, 100ms);
    client->clear();
  }

  static void pointerTo(int x, int y) {
    // posix_spawn rather than QProcess: under ThreadSanitizer a QProcess fork
    // would forbid the timers' threads that follow.
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y)}));
    ASSERT_TRUE(desk::waitFor([&] { return client->pointer() == std::make_pair(x, y); }, *client));
  }

  // Sends one console line to the simulator and waits until the frame it
  // produces has reached Ostrel's decoder.
  static void monitorSays(const QByteArray& line, const QString& decodedLogPrefix) {
    LogCapture log(false);
    ASSERT_TRUE(monitor->command(line));
    ASSERT_TRUE(desk::waitFor(
        [&] {
          for (const QString& l : log.lines())
            if (l.startsWith(decodedLogPrefix)) return true;
          return false;
        },
        *client))
        << line.toStdString();
  }

  static inline XTestClient* client = nullptr;
  static inline SimulatedMonitor* monitor = nullptr;
  static inline std::unique_ptr<LoadedWindow> window;
};

TEST_F(MonitorInputTest, MonitorKeysArriveAsPressAndReleaseAtTheFocusedWindow) {
  struct Case {
    const char* command;
    std::uint32_t keysym;
  };
  const Case cases[] = {
      {"key pagedown", 0xff56}, {"key pageup", 0xff55}, {"key down", 0xff54},
      {"key up", 0xff52},       {"key delete", 0xff08},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    client->clear();
    ASSERT_TRUE(monitor->command(c.command));
    ASSERT_TRUE(desk::waitFor([&] { return client->keyEvents().size() >= 2; }, *client));
    desk::settle(*client, 150ms);
    const auto events = client->keyEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, XCB_KEY_PRESS);
    EXPECT_EQ(events[0].keysym, c.keysym) << events[0].describe();
    EXPECT_EQ(events[0].state & 0xFF, 0) << "no modifier goes with the key";
    EXPECT_EQ(events[1].type, XCB_KEY_RELEASE);
    EXPECT_EQ(events[1].detail, events[0].detail);
  }
}

TEST_F(MonitorInputTest, PointerStepsMoveSixPoints) {
  struct Case {
    const char* command;
    int dx;
    int dy;
  };
  const Case cases[] = {{"move left", -6, 0}, {"move right", 6, 0}, {"move down", 0, 6}, {"move up", 0, -6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    pointerTo(640, 400);
    ASSERT_TRUE(monitor->command(c.command));
    EXPECT_TRUE(desk::waitFor([&] { return client->pointer() == std::make_pair(640 + c.dx, 400 + c.dy); }, *client))
        << client->pointer()->first << "," << client->pointer()->second;
    desk::settle(*client, 150ms);
    EXPECT_EQ(client->pointer(), std::make_pair(640 + c.dx, 400 + c.dy));
  }
}

TEST_F(MonitorInputTest, ClicksArriveAsPressAndReleaseAtThePointer) {
  struct Case {
    const char* command;
    std::uint8_t button;
  };
  for (const Case& c : {Case{"click left", 1}, Case{"click right", 3}}) {
    SCOPED_TRACE(c.command);
    pointerTo(client->centerX(), client->centerY());
    client->clear();
    ASSERT_TRUE(monitor->command(c.command));
    ASSERT_TRUE(desk::waitFor([&] { return client->events().size() >= 2; }, *client));
    desk::settle(*client, 150ms);
    const auto events = client->events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, XCB_BUTTON_PRESS);
    EXPECT_EQ(events[0].detail, c.button);
    EXPECT_EQ(events[1].type, XCB_BUTTON_RELEASE);
    EXPECT_EQ(events[1].detail, c.button);
  }
}

// Pointer positions over time, sampled until `done` says so.
struct Sample {
  std::chrono::steady_clock::time_point at;
  int x;
  int y;
};

std::vector<Sample> samplePointer(XTestClient& client, std::chrono::milliseconds duration) {
  std::vector<Sample> out;
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents();
    if (auto p = client.pointer()) out.push_back({std::chrono::steady_clock::now(), p->first, p->second});
    std::this_thread::sleep_for(5ms);
  }
  return out;
}

// The moments the pointer changed position, with where it went.
std::vector<Sample> changes(const std::vector<Sample>& samples, int startX, int startY) {
  std::vector<Sample> out;
  int x = startX, y = startY;
  for (const Sample& s : samples) {
    if (s.x == x && s.y == y) continue;
    out.push_back(s);
    x = s.x;
    y = s.y;
  }
  return out;
}

TEST_F(MonitorInputTest, LongMoveStepsSeventyPointsAtOnceThenEveryThirdOfASecondAndOnceMoreAfterTheEnd) {
  pointerTo(640, 790);
  monitorSays("long up", QStringLiteral(" 000000 **************** x = 0, y = -70"));
  const auto started = std::chrono::steady_clock::now();
  std::vector<Sample> samples = samplePointer(*client, 1100ms);
  monitorSays("long stop", QStringLiteral(" 000000 **************** x = 0, y = 0"));
  const auto stopped = std::chrono::steady_clock::now();
  const std::vector<Sample> after = samplePointer(*client, 1200ms);
  samples.insert(samples.end(), after.begin(), after.end());

  const std::vector<Sample> steps = changes(samples, 640, 790);
  ASSERT_GE(steps.size(), 3u);
  // Every step is 70 points up, the first at once.
  for (std::size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(steps[i].x, 640);
    EXPECT_EQ(steps[i].y, 790 - 70 * static_cast<int>(i + 1)) << "step " << i;
  }
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(steps[0].at - started).count(), 250);
  for (std::size_t i = 1; i < steps.size(); ++i) {
    const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(steps[i].at - steps[i - 1].at).count();
    EXPECT_GE(gap, 200) << "step " << i;
    EXPECT_LE(gap, 700) << "step " << i;
  }
  // While the move lasted, about one step per 0.3 s; after the end exactly one more.
  std::size_t beforeStop = 0;
  for (const Sample& s : steps) beforeStop += s.at <= stopped ? 1 : 0;
  const auto lasted = std::chrono::duration_cast<std::chrono::milliseconds>(stopped - started).count();
  EXPECT_GE(beforeStop, static_cast<std::size_t>(lasted / 300) - 1);
  EXPECT_LE(beforeStop, static_cast<std::size_t>(lasted / 300) + 2);
  EXPECT_EQ(steps.size() - beforeStop, 1u);
}

TEST_F(MonitorInputTest, ASecondLongMoveStartReplacesTheFirstAndOneEndStopsIt) {
  pointerTo(300, 600);
  monitorSays("long up", QStringLiteral(" 000000 **************** x = 0, y = -70"));
  samplePointer(*client, 400ms);
  monitorSays("long right", QStringLiteral(" 000000 **************** x = 70, y = 0"));
  const int y = client->pointer()->second;
  const int x = client->pointer()->first;
  const std::vector<Sample> during = samplePointer(*client, 1000ms);
  // Only the second direction repeats now.
  for (const Sample& s : during) EXPECT_EQ(s.y, y);
  ASSERT_FALSE(during.empty());
  EXPECT_GE(during.back().x, x + 140);
  EXPECT_EQ((during.back().x - x) % 70, 0);
  monitorSays("long stop", QStringLiteral(" 000000 **************** x = 0, y = 0"));
  samplePointer(*client, 700ms);
  const auto rest = client->pointer();
  const std::vector<Sample> still = samplePointer(*client, 1000ms);
  for (const Sample& s : still) EXPECT_EQ(std::make_pair(s.x, s.y), *rest) << "the pointer moves on after the end";
}

TEST_F(MonitorInputTest, NothingOutsideTheEventTableReachesTheDesktop) {
  const std::set<int> table{1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 16, 17, 18, 19, 20, 21, 22, 23};
  pointerTo(client->centerX(), client->centerY());
  LogCapture log(false);
  for (int event = 0; event < 256; ++event) {
    if (table.count(event)) continue;
    ASSERT_TRUE(monitor->command("event " + QByteArray::number(event)));
  }
  // Keys the monitor has no business pressing, asked for directly.
  for (std::int32_t keyCode : {0, 12, 36, 46, 49, 53, 118, 122, 0x1002E})
    (*window)->receiveKeyBoardClickWithCode(keyCode);
  // A last, valid event shows that everything before it has been handled.
  ASSERT_TRUE(monitor->command("key down"));
  ASSERT_TRUE(desk::waitFor([&] { return client->keyEvents().size() >= 2; }, *client));
  desk::settle(*client, 200ms);
  const auto events = client->events();
  ASSERT_EQ(events.size(), 2u) << events.front().describe();
  EXPECT_EQ(events[0].keysym, 0xff54u);
  EXPECT_EQ(client->pointer(), std::make_pair(client->centerX(), client->centerY()));
  EXPECT_EQ(
      log.count(QStringLiteral("receiveKeyBoardClickWithCode ignoring key code 46: not a key the monitor may press")),
      1);
}

TEST_F(MonitorInputTest, AFloodOfInputIsCoalescedAndThrottledAndLoggedOnce) {
  // About a thousand frames a second, in bursts of what one console line holds.
  const QByteArray pageDown = commandFrame(6, 1);
  const QByteArray right = commandFrame(6, 8);
  pointerTo(100, 300);
  LogCapture log(false);
  const auto started = std::chrono::steady_clock::now();
  int keysSent = 0;
  for (int burst = 0; burst < 6; ++burst) {
    QByteArray line = "raw ";
    for (int i = 0; i < 160; ++i) line += pageDown;
    keysSent += 160;
    ASSERT_TRUE(monitor->command(line));
    desk::settle(*client, 160ms);
  }
  // One burst of pointer steps: 150 x 6 points to the right.
  QByteArray line = "raw ";
  for (int i = 0; i < 150; ++i) line += right;
  ASSERT_TRUE(monitor->command(line));
  EXPECT_TRUE(desk::waitFor([&] { return client->pointer() == std::make_pair(1000, 300); }, *client))
      << "steps are added up, not lost: at " << client->pointer()->first;
  desk::settle(*client, 500ms);
  const auto lasted = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);

  const std::size_t presses = client->keyEvents().size() / 2;
  const std::size_t allowed =
      static_cast<std::size_t>(MonitorInputInjection::kMaxPressesPerSecond) * (lasted.count() / 1000 + 2);
  EXPECT_GT(presses, 0u);
  EXPECT_LE(presses, allowed) << "of " << keysSent << " in " << lasted.count() << " ms";
  EXPECT_EQ(
      log.count(QStringLiteral("The monitor sends more than %1 key presses or clicks a second; dropping the excess")
                    .arg(MonitorInputInjection::kMaxPressesPerSecond)),
      1);
  int posted = 0;
  for (const QString& l : log.lines())
    posted += l.startsWith(QStringLiteral("receiveMouseMovePointX Location")) ? 1 : 0;
  EXPECT_LT(posted, 150) << "pointer steps are coalesced";

  // Once the flood is over, the monitor's keys work as before.
  desk::settle(*client, 1100ms);
  client->clear();
  ASSERT_TRUE(monitor->command("key up"));
  EXPECT_TRUE(desk::waitFor([&] { return client->keyEvents().size() >= 2; }, *client));
}

TEST_F(MonitorInputTest, StarterWarningIsAMessageBoxWithOneOkButtonInTheCurrentLanguage) {
  struct Case {
    std::int32_t language;
    const char* text;
  };
  const Case cases[] = {
      {1, "Currently there is no starter, and the stability is poor. Press Enter to close the pop-up window."},
      {0, "当前没有设置启动台，稳定性较差，回车关闭弹窗。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    CurrentLanguage = c.language;
    QString text;
    int buttons = -1;
    bool okIsDefault = false;
    bool closed = false;
    QTimer::singleShot(0, [&] {
      // Runs inside the dialog's own event loop.
      runEventLoopUntil([] { return QApplication::activeModalWidget() != nullptr; }, 10000);
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      text = box->text();
      buttons = static_cast<int>(box->buttons().size());
      okIsDefault = box->defaultButton() == box->button(QMessageBox::Ok);
      QTest::keyClick(box, Qt::Key_Return);
      closed = true;
    });
    (*window)->receiveKeyBoardClickWithCodeForStarter();
    EXPECT_TRUE(closed);
    EXPECT_EQ(text, QString::fromUtf8(c.text));
    EXPECT_EQ(buttons, 1);
    EXPECT_TRUE(okIsDefault);
  }
  CurrentLanguage = 0;
}

// The same window without an X display to inject into.
TEST(MonitorInputWithoutInjector, IsLoggedOnceAndTheWindowCarriesOn) {
  resetProcessState();
  SimulatedMonitor monitor(16, uniqueMonitorName());
  std::unique_ptr<LoadedWindow> window;
  LogCapture log(false);
  QString error;
  ASSERT_TRUE(loadWithMonitor(monitor, window, &error, nullptr)) << error.toStdString();
  for (const char* line : {"key pagedown", "move left", "click left", "long up", "long stop", "key delete"}) {
    ASSERT_TRUE(monitor.command(line));
  }
  monitor.command("raw " + parameterReport(1, 7));
  EXPECT_TRUE(
      runEventLoopUntil([&] { return (*window)->thresholdInfo()->currentText() == QStringLiteral("7"); }, 10000));
  int notices = 0;
  for (const QString& l : log.lines()) {
    notices += l.startsWith(QStringLiteral("The monitor's keys and pointer can't be passed on")) ? 1 : 0;
  }
  EXPECT_EQ(notices, 1) << log.lines().join('\n').toStdString();
}

// The real injector as a loaded X server serves it: slow between reading the
// pointer and moving it.
class SlowPointerInjector : public platform::InputInjector {
 public:
  explicit SlowPointerInjector(std::shared_ptr<platform::InputInjector> real) : real_(std::move(real)) {}
  bool tapKey(std::uint16_t code) override { return real_->tapKey(code); }
  bool clickButton(platform::MouseButton button) override { return real_->clickButton(button); }
  bool movePointerTo(platform::PointerPosition position) override { return real_->movePointerTo(position); }
  std::optional<platform::PointerPosition> pointerPosition() override {
    const auto position = real_->pointerPosition();
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    return position;
  }

 private:
  std::shared_ptr<platform::InputInjector> real_;
};

TEST(MonitorInputSteps, StepsFromTheLongMoveAndTheMainThreadEachMoveThePointerOnce) {
  QString why;
  std::shared_ptr<platform::InputInjector> x11 = platform::createX11InputInjector(&why);
  ASSERT_TRUE(x11) << why.toStdString();
  XTestClient client;
  ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QStringLiteral("100"), QStringLiteral("100")}));
  ASSERT_TRUE(desk::waitFor([&] { return client.pointer() == std::make_pair(100, 100); }, client));
  auto slow = std::make_shared<SlowPointerInjector>(x11);
  {
    MonitorInputInjection input(slow, QString());
    input.setScreenSize(1280, 800);
    input.receiveMouseLongMovePonitX(0, 70);  // down, on the repeat's own thread
    for (int i = 0; i < 40; ++i) {            // right, from the main thread meanwhile
      input.receiveMouseMovePointX(6, 0);
      runEventLoopFor(10);
    }
    input.receiveMouseLongMovePonitX(0, 0);
    ASSERT_TRUE(runEventLoopUntil([&] { return !input.hasRepeatTimer(); }, 10000));
    // The last coalesced step goes out from the event loop.
    runEventLoopUntil([&] { return client.pointer() && client.pointer()->first == 100 + 40 * 6; }, 10000);
  }
  // Every step of 6 to the right arrived (added up where they came close),
  // none undone by a long-move step that started from a stale position.
  const auto pointer = client.pointer();
  ASSERT_TRUE(pointer.has_value());
  EXPECT_EQ(pointer->first, 100 + 40 * 6);
  EXPECT_EQ((pointer->second - 100) % 70, 0) << pointer->second;
}

}  // namespace
}  // namespace ostrel::test
