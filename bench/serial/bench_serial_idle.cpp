// Idle cost of open serial ports: four pseudo-terminal ports stay open and
// silent for a while (30 s unless given in seconds as the first argument); the
// process's CPU time and voluntary context switches (each one a wake-up of some
// thread) are measured with getrusage. Then removal latency: from the far end
// going away to the delegate hearing serialPortWasRemovedFromSystem.

#include "BenchPseudoTerminal.h"

#include "common/Log.h"
#include "serial/PelSerialPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>
#include <vector>

using namespace ostrel;

namespace {

struct RemovalClock : PelSerialPortDelegate {
  bool respondsTo(PelSerialPortDelegateOperation op) const override {
    return op == PelSerialPortDelegateOperation::WasRemovedFromSystem;
  }
  void serialPortWasRemovedFromSystem(const PelSerialPortRef&) override { removedAt = clock.nsecsElapsed(); }
  QElapsedTimer clock;
  qint64 removedAt = -1;
};

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

void spin(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir runtime;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  QCoreApplication app(argc, argv);
  LogDiscard quiet;
  const double duration = argc > 1 ? std::atof(argv[1]) : 30.0;

  constexpr int kPorts = 4;
  std::vector<std::unique_ptr<bench::BenchPseudoTerminal>> ptys;
  std::vector<PelSerialPort::Ref> ports;
  auto delegate = std::make_shared<RemovalClock>();
  delegate->clock.start();
  for (int i = 0; i < kPorts; ++i) {
    ptys.push_back(std::make_unique<bench::BenchPseudoTerminal>(QStringLiteral("idle%1").arg(i)));
    if (!ptys.back()->valid()) {
      std::fprintf(stderr, "no pseudo-terminal\n");
      return 1;
    }
    ports.push_back(PelSerialPort::serialPortWithPath(ptys.back()->link()));
    ports.back()->setDelegate(delegate);
    ports.back()->open();
    if (!ports.back()->isOpen()) {
      std::fprintf(stderr, "port %d did not open\n", i);
      return 1;
    }
  }
  spin([] { return false; }, 200);  // let the open hand-offs settle

  struct rusage before {}, after {};
  ::getrusage(RUSAGE_SELF, &before);
  QElapsedTimer wall;
  wall.start();
  QTimer::singleShot(static_cast<int>(duration * 1000), &app, &QCoreApplication::quit);
  app.exec();
  ::getrusage(RUSAGE_SELF, &after);
  const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
  const double cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_stime);
  const long wakeups = after.ru_nvcsw - before.ru_nvcsw;
  std::printf("idle: %d open ports for %.1f s\n", kPorts, elapsed);
  std::printf("  cpu time            %.3f ms (%.4f %% of one core)\n", cpu * 1e3, 100.0 * cpu / elapsed);
  std::printf("  voluntary switches  %ld (%.2f per second, all threads, event loop's quit timer included)\n", wakeups,
              static_cast<double>(wakeups) / elapsed);
  std::printf("  involuntary         %ld\n", after.ru_nivcsw - before.ru_nivcsw);

  // Removal latency, on fresh ports each round.
  for (auto& p : ports) p->close();
  spin([&] { return std::none_of(ports.begin(), ports.end(), [](const auto& p) { return p->isOpen(); }); }, 2000);
  ports.clear();
  ptys.clear();
  std::vector<double> latencies;
  for (int round = 0; round < 40; ++round) {
    bench::BenchPseudoTerminal pty(QStringLiteral("unplug"));
    auto port = PelSerialPort::serialPortWithPath(pty.link());
    port->setDelegate(delegate);
    port->open();
    spin([] { return false; }, 5);
    delegate->removedAt = -1;
    const qint64 start = delegate->clock.nsecsElapsed();
    pty.closeMaster();
    spin([&] { return delegate->removedAt >= 0; }, 2000);
    if (delegate->removedAt >= 0) latencies.push_back(static_cast<double>(delegate->removedAt - start) / 1e6);
    spin([&] { return !port->isOpen(); }, 2000);
    std::weak_ptr<PelSerialPort> weak = port;
    port.reset();
    spin([&] { return weak.expired(); }, 2000);
  }
  std::sort(latencies.begin(), latencies.end());
  if (latencies.empty()) {
    std::printf("removal: never heard\n");
    return 1;
  }
  std::printf("removal: %zu unplugs, median %.3f ms, max %.3f ms\n", latencies.size(), latencies[latencies.size() / 2],
              latencies.back());
  return 0;
}
