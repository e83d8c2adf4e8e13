// Ostrel as a process on a headless sway, its input through the compositor's
// virtual keyboard: from the simulator sending Page Down until the focused
// window (a window of this program) has the key; target median <= 5 ms.
//
//   tests/support/run-test.sh --sway build/bin/bench_sway [presses]
//
// Figures go to standard output; the exit status is 1 when the target is missed.
#include "FocusProbe.h"
#include "SwayDesktop.h"
#include "support/EventLoopWait.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <QApplication>
#include <QKeyEvent>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace std::chrono_literals;
using ostrel::test::MonotonicClock;

// Stamps each Page Down the moment Qt hands it over.
class Probe : public ostrel::test::FocusProbe {
 public:
  std::vector<MonotonicClock::time_point> pageDowns;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_PageDown) pageDowns.push_back(MonotonicClock::now());
    FocusProbe::keyPressEvent(e);
  }
};

double ms(MonotonicClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

int fail(const char* what) {
  std::fprintf(stderr, "bench_sway: %s\n", what);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int presses = argc > 1 ? std::max(3, std::atoi(argv[1])) : 60;
  if (!qEnvironmentVariable("OSTREL_WAYLAND_MISSING").isEmpty()) return fail("no headless sway here");
  ostrel::test::SimulatedMonitor monitor(16, QStringLiteral("bench-sim0"));
  ostrel::test::OstrelProcess ostrel;
  QString error;
  if (!monitor.start(&error) || !ostrel.start(&error)) return fail(qPrintable(error));
  if (!ostrel.waitForLogStartingWith("The monitor's keys and pointer go through the Wayland compositor's", 60s) ||
      !monitor.waitForFrame(ostrel::test::commandFrame(10, 4), 60s)) {
    return fail("Ostrel did not get its virtual keyboard or its monitor");
  }
  Probe probe;
  if (!ostrel::test::focusOnSway(probe)) return fail("no focused window");

  std::vector<double> key;
  for (int i = 0; i < presses; ++i) {
    const std::size_t seen = probe.pageDowns.size();
    const auto sent = MonotonicClock::now();
    monitor.command("key pagedown");
    if (!ostrel::test::runEventLoopUntil([&] { return probe.pageDowns.size() > seen; }, 10'000))
      return fail("a monitor key did not reach the focused window");
    key.push_back(ms(probe.pageDowns.back() - sent));
    // Below the monitor input's flood limit of 20 presses a second.
    ostrel::test::runEventLoopFor(60);
  }
  std::sort(key.begin(), key.end());
  const double median = key[key.size() / 2];
  std::printf("monitor key -> focused window has it (sway): min %.2f ms, median %.2f ms, worst %.2f ms (%d keys)\n",
              key.front(), median, key.back(), presses);
  ostrel.stop();
  return median <= 5.0 ? 0 : 1;
}
