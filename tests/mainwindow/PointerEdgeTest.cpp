// The edges of the main screen for the monitor's pointer steps. On a desktop of
// two screens the pointer can be beyond the main screen's right or bottom edge;
// a step further out is refused there, a step back is not. The test runs Ostrel
// and the simulated monitor on an X server of its own with two screens side by
// side: the main one 640 x 480, the second 800 x 600.
#include "support/ChildProcess.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QFileInfo>
#include <thread>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

// Xvfb with two screens joined by Xinerama, on the first free display number.
class TwoScreenServer {
 public:
  bool start(QString* error) {
    for (int n = 150 + ::getpid() % 100; n < 400; ++n) {
      if (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) continue;
      display_ = QStringLiteral(":%1").arg(n);
      server_ = std::make_unique<ChildProcess>();
      if (!server_->start(QStringLiteral("/usr/bin/Xvfb"),
                          {display_, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("640x480x24"),
                           QStringLiteral("-screen"), QStringLiteral("1"), QStringLiteral("800x600x24"),
                           QStringLiteral("+xinerama"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                           QStringLiteral("-noreset"), QStringLiteral("+extension"), QStringLiteral("XTEST")},
                          error))
        return false;
      const auto deadline = MonotonicClock::now() + 20s;
      while (MonotonicClock::now() < deadline && server_->isRunning()) {
        if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))) return true;
        std::this_thread::sleep_for(20ms);
      }
      server_.reset();  // taken meanwhile, or it failed: try the next number
    }
    if (error) *error = QStringLiteral("no display number was free for Xvfb");
    return false;
  }
  QString display() const { return display_; }

 private:
  QString display_;
  std::unique_ptr<ChildProcess> server_;
};

std::optional<std::pair<int, int>> pointer() {
  QByteArray out;
  if (!xdotool({QStringLiteral("getmouselocation"), QStringLiteral("--shell")}, &out)) return std::nullopt;
  int x = -1, y = -1;
  for (const QByteArray& line : out.split('\n')) {
    if (line.startsWith("X=")) x = line.mid(2).toInt();
    if (line.startsWith("Y=")) y = line.mid(2).toInt();
  }
  return std::make_pair(x, y);
}

bool pointerTo(int x, int y) {
  return xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y)}) &&
         pointer() == std::make_pair(x, y);
}

TEST(PointerEdges, StepsBeyondTheMainScreenAreRefusedAndStepsBackAreNot) {
  TwoScreenServer server;
  QString error;
  ASSERT_TRUE(server.start(&error)) << error.toStdString();
  // Everything from here on, xdotool included, is on the two-screen server.
  qputenv("DISPLAY", server.display().toLocal8Bit());
  qputenv("QT_QPA_PLATFORM", "xcb");

  SimulatedMonitor monitor(16, QStringLiteral("edge-sim"));
  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  OstrelProcess ostrel;
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  ASSERT_TRUE(ostrel.waitUntilReady()) << ostrel.logText().toStdString();
  ASSERT_TRUE(ostrel
                  .waitForLog("***************************************************** frame x= 0.000000, y = 0.000000, "
                              "height = 480.000000, width = 640.000000",
                              1s)
                  .has_value())
      << "the main screen is the 640 x 480 one";
  ASSERT_TRUE(monitor.waitForFrame(commandFrame(10, 4), 30s).has_value());

  struct Case {
    const char* name;
    int x, y;
    const char* command;
    int toX, toY;
  };
  const Case cases[] = {
      {"right, beyond the right edge", 700, 300, "move right", 700, 300},
      {"left, back from beyond it", 700, 300, "move left", 694, 300},
      {"right, exactly at the edge", 640, 300, "move right", 646, 300},
      {"down, below the bottom edge", 700, 500, "move down", 700, 500},
      {"up, back from below it", 700, 500, "move up", 700, 494},
      {"down, inside the main screen", 300, 300, "move down", 300, 306},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(pointerTo(c.x, c.y));
    const std::size_t from = ostrel.logLineCount();
    ASSERT_TRUE(monitor.command(c.command));
    const QByteArray seen = QStringLiteral("receiveMouseMovePointX Location pointUp x = %1.000000, y = %2.000000")
                                .arg(c.x)
                                .arg(c.y)
                                .toUtf8();
    ASSERT_TRUE(ostrel.waitForLog(seen, 10s, from).has_value()) << ostrel.logText().toStdString();
    const auto deadline = MonotonicClock::now() + 3s;
    while (pointer() != std::make_pair(c.toX, c.toY) && MonotonicClock::now() < deadline)
      std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(pointer(), std::make_pair(c.toX, c.toY));
  }
}

}  // namespace
}  // namespace ostrel::test
