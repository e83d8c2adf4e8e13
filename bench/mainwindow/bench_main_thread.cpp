// How long the main window's thread is kept from its event loop while Ostrel
// finds a monitor and reads all of its parameters back. A probe timer asks to
// run every millisecond; the longest time between two of its runs is the worst
// stall a user could feel. Also the pacing the monitor sees: the pause between
// the probe and the first request, and between two requests of a read-back.
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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

// The gaps between consecutive frames from `from` on, as the monitor received them.
std::vector<double> gapsMs(const SimulatedMonitor& monitor, std::size_t from) {
  const auto frames = monitor.frames();
  std::vector<double> gaps;
  for (std::size_t i = from + 1; i < frames.size(); ++i)
    gaps.push_back(std::chrono::duration<double, std::milli>(frames[i].at - frames[i - 1].at).count());
  return gaps;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  const QString lastAnswer = QStringLiteral("updateViewFrontTemperatureValueDisplay");
  double worstLoad = 0, worstGet = 0, worstPlug = 0;
  std::vector<double> probeToFirstRequest, betweenRequests;
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
    if (!ostrel::test::waitUntilListed(first)) {
      std::fprintf(stderr, "the port manager did not list %s\n", qPrintable(first.linkPath()));
      return 2;
    }

    probe.start();
    auto window = std::make_unique<LoadedWindow>();
    const bool loaded = waitForLog(log, lastAnswer, 0, 30000);
    worstLoad = std::max(worstLoad, probe.stopMs());
    if (const std::vector<double> gaps = gapsMs(first, 0); !gaps.empty()) {
      probeToFirstRequest.push_back(gaps.front());
      betweenRequests.insert(betweenRequests.end(), gaps.begin() + 1, gaps.end());
    }

    int from = static_cast<int>(log.lines().size());
    const std::size_t framesBefore = first.frameCount();
    probe.start();
    (*window)->window()->findChild<QPushButton*>(QStringLiteral("paramButton"))->click();
    const bool readBack = waitForLog(log, lastAnswer, from, 30000);
    worstGet = std::max(worstGet, probe.stopMs());
    const std::vector<double> getGaps = gapsMs(first, framesBefore);
    betweenRequests.insert(betweenRequests.end(), getGaps.begin(), getGaps.end());

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
  const bool stallMet = completed == rounds && worst <= 50;
  std::printf("  target: never more than 50 ms                          %s\n", stallMet ? "met" : "MISSED");

  const auto summary = [](std::vector<double> gaps, double target, const char* what) {
    if (gaps.empty()) {
      std::printf("  %-45s no frames\n", what);
      return false;
    }
    std::sort(gaps.begin(), gaps.end());
    const bool met = gaps.front() >= target;
    std::printf("  %-45s min %6.1f  median %6.1f  max %6.1f ms (%zu gaps; target >= %.0f ms: %s)\n", what, gaps.front(),
                gaps[gaps.size() / 2], gaps.back(), gaps.size(), target, met ? "met" : "MISSED");
    return met;
  };
  std::printf("pacing at the monitor (load and Get Parameters):\n");
  const bool probeMet = summary(probeToFirstRequest, 950, "probe to first request");
  const bool requestsMet = summary(betweenRequests, 300, "between two requests");
  return stallMet && probeMet && requestsMet ? 0 : 1;
}
