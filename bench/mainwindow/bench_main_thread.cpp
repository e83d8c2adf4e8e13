// How long the main window's thread is kept from its event loop while Ostrel
// finds a monitor and reads all of its parameters back. A probe timer asks to
// run every millisecond; the longest time between two of its runs is the worst
// stall a user could feel. Also the pacing the monitor sees: the pause between
// the probe and the first request, and between two requests of a read-back.
//
//   tests/support/run-test.sh --x11 build/bin/bench_main_thread [rounds]
//
// Each round: nine serial ports, the monitor (a version-48 simulator) on one
// of them, four that never answer and four whose far end answers every probe
// with garbage; a fresh main window (start-up discovery among the nine and the
// read-back), Get Parameters (a second read-back), then a second monitor
// plugged in (a hot-plug discovery pass and its read-back). Printed: the worst
// stall of each round, and the median and the worst over the rounds.
#include "MainWindowHarness.h"
#include "common/Log.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"
#include "support/EventLoopWait.h"
#include "support/PseudoTerminal.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {

using ostrel::test::LoadedWindow;
using ostrel::test::PseudoTerminal;
using ostrel::test::SimulatedMonitor;

constexpr int kSilentPorts = 4;
constexpr int kGarbagePorts = 4;

// The eight other serial lines of a round. The garbage lines' far end answers
// whatever it reads with bytes that are no monitor message, from a thread of
// its own so that the main thread measured is Ostrel's alone.
class OtherLines {
 public:
  explicit OtherLines(int round) {
    for (int i = 0; i < kSilentPorts + kGarbagePorts; ++i) {
      auto line = std::make_unique<PseudoTerminal>();
      const QString kind = i < kSilentPorts ? QStringLiteral("silent") : QStringLiteral("garbage");
      links_ << line->publish(QStringLiteral("mw-r%1-%2%3").arg(round).arg(kind).arg(i));
      lines_.push_back(std::move(line));
    }
    answerer_ = std::thread([this] { answer(); });
  }
  ~OtherLines() {
    stop_.store(true);
    answerer_.join();
  }
  OtherLines(const OtherLines&) = delete;
  OtherLines& operator=(const OtherLines&) = delete;

  bool valid() const {
    return std::all_of(links_.cbegin(), links_.cend(), [](const QString& link) { return !link.isEmpty(); });
  }
  QStringList links() const { return links_; }

 private:
  void answer() {
    static const QByteArray kGarbage = "\r\nERROR\r\n5FF5ZZ\x01\xFF\x7F~~garbage~~A0FA5FF5";
    std::vector<pollfd> fds;
    for (int i = kSilentPorts; i < kSilentPorts + kGarbagePorts; ++i)
      fds.push_back({lines_[static_cast<std::size_t>(i)]->masterDescriptor(), POLLIN, 0});
    char buffer[256];
    while (!stop_.load()) {
      if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
      for (pollfd& fd : fds) {
        if (!(fd.revents & POLLIN)) continue;
        if (::read(fd.fd, buffer, sizeof buffer) > 0) (void)!::write(fd.fd, kGarbage.constData(), kGarbage.size());
      }
    }
  }

  std::vector<std::unique_ptr<PseudoTerminal>> lines_;
  QStringList links_;
  std::atomic<bool> stop_{false};
  std::thread answerer_;
};

bool listed(const QStringList& links) {
  const auto ports = ostrel::PelSerialPortManager::sharedSerialPortManager().availablePorts();
  return std::all_of(links.cbegin(), links.cend(), [&](const QString& link) {
    return std::any_of(ports.cbegin(), ports.cend(), [&](const auto& port) { return port->path() == link; });
  });
}

bool noneListed(const QStringList& links) {
  const auto ports = ostrel::PelSerialPortManager::sharedSerialPortManager().availablePorts();
  return std::none_of(ports.cbegin(), ports.cend(), [&](const auto& port) { return links.contains(port->path()); });
}

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

struct RoundStalls {
  double load = 0, get = 0, plug = 0;
  double worst() const { return std::max({load, get, plug}); }
};

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  const QString lastAnswer = QStringLiteral("updateViewFrontTemperatureValueDisplay");
  std::vector<RoundStalls> stalls;
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
    auto others = std::make_unique<OtherLines>(round);
    if (!others->valid()) {
      std::fprintf(stderr, "could not publish the other serial lines\n");
      return 2;
    }
    ostrel::LogCapture log(true);
    StallProbe probe;
    if (!ostrel::test::waitUntilListed(first) ||
        !ostrel::test::runEventLoopUntil([&] { return listed(others->links()); }, 10000)) {
      std::fprintf(stderr, "the port manager did not list the nine ports of round %d\n", round);
      return 2;
    }
    RoundStalls stall;

    probe.start();
    auto window = std::make_unique<LoadedWindow>();
    const bool loaded = waitForLog(log, lastAnswer, 0, 30000);
    stall.load = probe.stopMs();
    if (const std::vector<double> gaps = gapsMs(first, 0); !gaps.empty()) {
      probeToFirstRequest.push_back(gaps.front());
      betweenRequests.insert(betweenRequests.end(), gaps.begin() + 1, gaps.end());
    }

    int from = static_cast<int>(log.lines().size());
    const std::size_t framesBefore = first.frameCount();
    probe.start();
    (*window)->window()->findChild<QPushButton*>(QStringLiteral("paramButton"))->click();
    const bool readBack = waitForLog(log, lastAnswer, from, 30000);
    stall.get = probe.stopMs();
    const std::vector<double> getGaps = gapsMs(first, framesBefore);
    betweenRequests.insert(betweenRequests.end(), getGaps.begin(), getGaps.end());

    from = static_cast<int>(log.lines().size());
    SimulatedMonitor second(48, ostrel::test::uniqueMonitorName());
    probe.start();
    const bool plugged = second.start(&error) && waitForLog(log, lastAnswer, from, 30000);
    stall.plug = probe.stopMs();
    if (loaded && readBack && plugged) ++completed;
    std::printf("round %d: worst stall %6.1f ms (load %.1f, Get Parameters %.1f, hot-plug %.1f)%s\n", round + 1,
                stall.worst(), stall.load, stall.get, stall.plug, loaded && readBack && plugged ? "" : " INCOMPLETE");
    std::fflush(stdout);
    stalls.push_back(stall);
    window.reset();
    // The round's lines go before the next round lists its own.
    const QStringList links = others->links() + QStringList{first.linkPath(), second.linkPath()};
    others.reset();
    first.stop();
    second.stop();
    ostrel::test::runEventLoopUntil([&] { return noneListed(links); }, 10000);
    ostrel::test::runEventLoopFor(300);
  }

  const auto column = [&](double RoundStalls::*phase) {
    std::vector<double> values;
    for (const RoundStalls& s : stalls) values.push_back(s.*phase);
    return values;
  };
  std::vector<double> worstPerRound;
  for (const RoundStalls& s : stalls) worstPerRound.push_back(s.worst());
  const auto line = [&](const char* what, const std::vector<double>& values) {
    std::printf("  %-52s median %6.1f  max %6.1f ms\n", what, median(values),
                values.empty() ? 0.0 : *std::max_element(values.begin(), values.end()));
  };
  std::printf("main-thread stall over %d of %d rounds (1 ms probe timer, 9 ports):\n", completed, rounds);
  line("load: discovery among 9 ports and read-back", column(&RoundStalls::load));
  line("Get Parameters: full read-back", column(&RoundStalls::get));
  line("hot-plug: discovery pass and read-back", column(&RoundStalls::plug));
  line("worst of a round", worstPerRound);
  const double worst = worstPerRound.empty() ? 0 : *std::max_element(worstPerRound.begin(), worstPerRound.end());
  const bool stallMet = completed == rounds && worst <= 16;
  std::printf("  target: never more than 16 ms (one frame)              %s\n", stallMet ? "met" : "MISSED");

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
