// Ostrel's wake-ups while nobody uses it: a monitor connected (the bundled
// simulator), Auto Clear on, nobody at the X server. Each of its threads'
// context switches (/proc/PID/task/TID/status) is counted over the window, for
// three Ostrels in turn: the timer off, the timer on with "Pause while idle"
// (resting: the session is idle), and the timer on with it off. Resting must
// cost no more wake-ups than the period's own: at most a few per period above
// the timer-off figure.
//
//   tests/support/run-test.sh --x11 --dbus build/bin/bench_idle_wakeups [seconds] [period]
//
// Defaults: 60 s, a 10 s period. Figures go to standard output; the exit status
// is 1 when the target is missed.
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <map>
#include <thread>

namespace {

using namespace std::chrono_literals;
using ostrel::test::OstrelProcess;
using ostrel::test::SimulatedMonitor;

// Context switches of every thread of `pid`, by thread name.
std::map<QString, long long> switchesByThread(pid_t pid) {
  std::map<QString, long long> out;
  const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
  for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile status(tasks + QLatin1Char('/') + tid + QStringLiteral("/status"));
    if (!status.open(QIODevice::ReadOnly)) continue;
    QString name;
    long long switches = 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
      if (line.startsWith("Name:")) name = QString::fromUtf8(line.mid(5).trimmed());
      if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:")) {
        switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
      }
    }
    out[name] += switches;
  }
  return out;
}

struct Figure {
  double perSecond = 0;
  std::map<QString, double> byThread;
  bool resting = false;
};

std::optional<Figure> measure(const char* label, qint64 check, qint64 period, qint64 pause, int seconds) {
  static int next = 0;
  SimulatedMonitor monitor(16, QStringLiteral("wake-sim%1").arg(next++));
  QString error;
  if (!monitor.start(&error)) {
    std::fprintf(stderr, "%s: %s\n", label, qPrintable(error));
    return std::nullopt;
  }
  // The session counts as idle after 2 s without input, so the timer rests
  // from its first ticks on.
  ostrel::test::writePreferences({{QStringLiteral("autoClearCheckValue"), check},
                                  {QStringLiteral("autoClearValue"), period},
                                  {QStringLiteral("pauseWhileIdle"), pause},
                                  {QStringLiteral("idlePauseSeconds"), 2}});
  OstrelProcess ostrel;
  if (!ostrel.start(&error) || !ostrel.waitUntilReady() ||
      !monitor.waitForFrame(ostrel::test::commandFrame(10, 4), 30s)) {
    std::fprintf(stderr, "%s: Ostrel did not start with its monitor: %s\n", label, qPrintable(error));
    return std::nullopt;
  }
  // The read-back and the first tick are over.
  std::this_thread::sleep_for(5s);
  const auto before = switchesByThread(ostrel.process().pid());
  const std::size_t framesBefore = monitor.frameCount();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const auto after = switchesByThread(ostrel.process().pid());
  Figure f;
  long long total = 0;
  for (const auto& [name, count] : after) {
    const long long delta = count - (before.count(name) ? before.at(name) : 0);
    total += delta;
    f.byThread[name] = static_cast<double>(delta) / seconds;
  }
  f.perSecond = static_cast<double>(total) / seconds;
  f.resting = ostrel.countLogContaining("Auto Clear Ghost rests") > 0;
  std::printf("%-34s %6.2f wake-ups/s  (%zu frames at the monitor)\n", label, f.perSecond,
              monitor.frameCount() - framesBefore);
  for (const auto& [name, rate] : f.byThread) {
    if (rate > 0) std::printf("    %-16s %6.2f/s\n", qPrintable(name), rate);
  }
  std::fflush(stdout);
  ostrel.stop();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const qint64 period = argc > 2 ? std::atoll(argv[2]) : 10;
  std::printf("Ostrel's wake-ups over %d s, Auto Clear period %lld s, nobody at the X server\n", seconds,
              static_cast<long long>(period));
  const auto off = measure("timer off", 0, period, 1, seconds);
  const auto resting = measure("timer on, pause while idle", 1, period, 1, seconds);
  const auto running = measure("timer on, never pausing", 1, period, 0, seconds);
  if (!off || !resting || !running) return 1;
  const double extra = (resting->perSecond - off->perSecond) * static_cast<double>(period);
  std::printf("resting costs %.1f wake-ups per period above the timer off (target: at most 6)\n", extra);
  if (!resting->resting) {
    std::printf("the timer never rested\n");
    return 1;
  }
  return extra <= 6.0 ? 0 : 1;
}
