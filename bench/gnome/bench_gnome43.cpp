// Ostrel as a process on Debian 12's own headless GNOME 43, its shortcuts
// among GNOME's custom shortcuts (`ostrelctl gnome-shortcuts add`): with
// Control held, D pressed through Mutter's remote-desktop interface until the
// refresh frame reaches the simulated monitor. On the way: GNOME Shell's
// grab, the settings daemon starting ostrelctl, ostrelctl's call to the
// running Ostrel over the session bus, Ostrel's frame on the serial line.
// Target: median <= 60 ms.
//
//   tests/support/run-test.sh --gnome build/bin/bench_gnome43 [rounds]
//
// Figures go to standard output; the exit status is 1 when the target is
// missed, 2 when the measurement could not be made.
#include "GnomeDesktop.h"
#include "MutterKeyboard.h"
#include "support/ChildProcess.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using ostrel::test::MonotonicClock;

double ms(MonotonicClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

int fail(const char* what) {
  std::fprintf(stderr, "bench_gnome43: %s\n", what);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
  if (const auto missing = ostrel::test::missingGnome()) return fail(missing->c_str());
  ostrel::test::SimulatedMonitor monitor(16, QStringLiteral("bench-sim0"));
  ostrel::test::OstrelProcess ostrel;
  ostrel.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), std::nullopt);
  QString error;
  if (!monitor.start(&error) || !ostrel.start(&error)) return fail(qPrintable(error));
  if (!monitor.waitForFrame(ostrel::test::commandFrame(10, 4), 60s)) return fail("Ostrel did not find its monitor");
  ostrel::test::ChildProcess add;
  if (!add.start(ostrel::test::buildProgram(QStringLiteral("ostrelctl")),
                 {QStringLiteral("gnome-shortcuts"), QStringLiteral("add")}, &error)) {
    return fail(qPrintable(error));
  }
  const auto added = add.waitForExit(60s);
  if (!added || added->status != 0) return fail("ostrelctl gnome-shortcuts add failed");
  if (!ostrel::test::waitForGrab(
          QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/ostrel-contrast-down/"),
          30s)) {
    return fail("GNOME never grabbed the keys");
  }
  ostrel::test::MutterKeyboard keyboard;
  if (!keyboard.start(&error)) return fail(qPrintable(error));

  std::vector<double> latency;
  for (int i = 0; i < rounds; ++i) {
    const std::size_t from = monitor.frameCount();
    keyboard.key(29, true);  // Control held; the shortcut is pressed with D
    const auto pressed = MonotonicClock::now();
    keyboard.key(32, true);
    const auto at = monitor.waitForFrame(ostrel::test::commandFrame(3, 1), 10s, from);
    keyboard.key(32, false);
    keyboard.key(29, false);
    if (!at) return fail("a key press did not reach the monitor");
    latency.push_back(ms(monitor.frames()[*at].at - pressed));
    // Each press starts a program; let the last one end first.
    std::this_thread::sleep_for(150ms);
  }
  std::sort(latency.begin(), latency.end());
  const double median = latency[latency.size() / 2];
  std::printf(
      "key through GNOME 43's custom shortcut -> ostrelctl -> refresh frame at the monitor: "
      "min %.1f ms, median %.1f ms, worst %.1f ms (%d presses)\n",
      latency.front(), median, latency.back(), rounds);
  ostrel.stop();
  return median <= 60.0 ? 0 : 1;
}
