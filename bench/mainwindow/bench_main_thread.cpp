// How long the main window's thread is kept from its event loop while Ostrel
// finds a monitor and reads all of its parameters back. A probe timer asks to
// run every millisecond; the longest time between two of its runs is the worst
// stall a user could feel.
//
//   tests/support/run-test.sh --x11 build/bin/bench_main_thread [rounds]
//
// Each round: a version-48 simulated monitor, a fresh main window (load's own
// discovery and read-back), Get Parameters (a second read-back), then a second
// monitor plugged in (a hot-plug discovery pass and its read-back).
#include "MainWindowHarness.h"
#include "common/Log.h"
#include "support/EventLoopWait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

using ostrel::test::LoadedWindow;
using ostrel::test::SimulatedMonitor;

class StallProbe {
 public:
  StallProbe() {
    timer_.setInterval(1);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      worst_ = std::max(worst_, now - last_);
      last_ = now;
    });
  }
  void start() {
    worst_ = 0;
    clock_.start();
    last_ = 0;
    timer_.start();
  }
  double stopMs() {
    timer_.stop();
    return static_cast<double>(worst_) / 1e6;
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 worst_ = 0;
};

bool waitForLog(ostrel::LogCapture& log, const QString& prefix, int fromLine, int timeoutMs) {
  return ostrel::test::runEventLoopUntil(
      [&] {
        const QStringList lines = log.lines();
        for (int i = fromLine; i < lines.size(); ++i)
          if (lines[i].startsWith(prefix)) return true;
        return false;
      },
      timeoutMs);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  const QString lastAnswer = QStringLiteral("updateViewFrontTemperatureValueDisplay");
  double worstLoad = 0, worstGet = 0, worstPlug = 0;
  int completed = 0;
  for (int round = 0; round < rounds; ++round) {
    ostrel::test::resetProcessState();
    SimulatedMonitor first(48, ostrel::test::uniqueMonitorName());
    QString error;
    if (!first.start(&error)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      return 2;
    }
    ostrel::LogCapture log(true);
    StallProbe probe;

    probe.start();
    auto window = std::make_unique<LoadedWindow>();
    const bool loaded = waitForLog(log, lastAnswer, 0, 30000);
    worstLoad = std::max(worstLoad, probe.stopMs());

    int from = static_cast<int>(log.lines().size());
    probe.start();
    (*window)->window()->findChild<QPushButton*>(QStringLiteral("paramButton"))->click();
    const bool readBack = waitForLog(log, lastAnswer, from, 30000);
    worstGet = std::max(worstGet, probe.stopMs());

    from = static_cast<int>(log.lines().size());
    SimulatedMonitor second(48, ostrel::test::uniqueMonitorName());
    probe.start();
    const bool plugged = second.start(&error) && waitForLog(log, lastAnswer, from, 30000);
    worstPlug = std::max(worstPlug, probe.stopMs());
    if (loaded && readBack && plugged) ++completed;
    window.reset();
  }
  std::printf("worst main-thread stall over %d of %d rounds (1 ms probe timer):\n", completed, rounds);
  std::printf("  load: discovery and read-back of a version-48 monitor   %6.1f ms\n", worstLoad);
  std::printf("  Get Parameters: full read-back                          %6.1f ms\n", worstGet);
  std::printf("  hot-plug: discovery pass and read-back                  %6.1f ms\n", worstPlug);
  const double worst = std::max({worstLoad, worstGet, worstPlug});
  const bool met = completed == rounds && worst <= 50;
  std::printf("  target: never more than 50 ms                          %s\n", met ? "met" : "MISSED");
  return met ? 0 : 1;
}
