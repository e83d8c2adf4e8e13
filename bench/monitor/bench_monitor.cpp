// Costs of the monitor protocol: decoding the monitor's stream, encoding a
// command, and how soon a discovery pass accepts the monitor.
//
//   build/bin/bench_monitor
//
// Decoder targets: at least 1,000,000 messages/s on a realistic stream (notices,
// reports and input events with some line noise, cut into reads of random size).
// Discovery target: the monitor accepted within 0.33 s (the settling time before
// the probe) plus its answer of startPin whether there are 1, 8 or 16 serial
// ports, on in-memory ports and on pseudo-terminals.
// Held-port target: a monitor another program held at the pass is accepted
// within 0.2 s (the wait after the close) plus 0.33 s plus its answer of that
// program's exit, with no further pass.

#include "BenchPseudoTerminal.h"
#include "FakeSerialPort.h"
#include "common/Log.h"
#include "monitor/MonitorState.h"
#include "monitor/PelSerialPortHelper.h"
#include "monitor/UtilsPelSerialPortsValue.h"
#include "monitor/ViewControllerInterface.h"
#include "platform/posix/DeviceUsers.h"
#include "platform/posix/VirtualPortBackend.h"
#include "serial/PelDeviceRegistry.h"
#include "serial/PelSerialFrame.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

using ostrel::PelSerialPortRef;

// A main window that only counts, so the decoder's own cost is what is measured.
class CountingView : public ostrel::ViewControllerInterface {
 public:
  std::int64_t calls = 0;
  void updateViewThresholdDisplay(std::int32_t) override { ++calls; }
  void updateViewModeDisplay(std::int32_t) override { ++calls; }
  void updateViewSpeedDisplay(std::int32_t) override { ++calls; }
  void updateViewFrontLightModeDisplay(std::int32_t) override { ++calls; }
  void updateViewFrontTemperatureValueDisplay(std::int32_t) override { ++calls; }
  void updateViewFrontBrightnessValueDisplay(std::int32_t) override { ++calls; }
  void updateViewCurrentMCUVersion(std::int32_t) override { ++calls; }
  void updateMainViewContent() override { ++calls; }
  void receiveKeyBoardClickWithCode(std::int32_t) override { ++calls; }
  void receiveMouseMovePointX(std::int32_t, std::int32_t) override { ++calls; }
  void receiveMouseClickEvent(std::int32_t) override { ++calls; }
  void receiveMouseLongMovePonitX(std::int32_t, std::int32_t) override { ++calls; }
};

// A port that swallows what is written (the encoder's cost without a device).
class NullPort : public ostrel::test::FakeSerialPort {
 public:
  NullPort() : FakeSerialPort(QStringLiteral("ttyNULL"), QStringLiteral("/dev/ttyNULL")) {}
  bool isOpen() const override { return true; }
  bool sendData(const QByteArray& data) override {
    benchmark::DoNotOptimize(data.constData());
    return true;
  }
};

struct Stream {
  QList<QByteArray> chunks;
  std::int64_t messages = 0;
  std::int64_t bytes = 0;
};

// 4096 messages of the kinds a monitor sends, 1 in 10 preceded by noise, cut at
// random points (reads of 1 to 64 bytes), or one message per read.
Stream makeStream(bool randomReads) {
  std::mt19937 rng(12345);
  const char* kinds[] = {"5FF50105000000000000A0FA", "5FF5F00A010500000000A0FA", "5FF5F00A020300000000A0FA",
                         "5FF5000A040200000000A0FA", "5FF50607000000000000A0FA", "5FF50614000000000000A0FA",
                         "5FF5F00A096400000000A0FA", "5FF50601000000000000A0FA", "5ff50203000000000000a0fa"};
  const char noise[] = "\r\n\xff\x00zq5F";
  Stream s;
  QByteArray all;
  for (int i = 0; i < 4096; ++i) {
    if (rng() % 10 == 0) {
      const int n = 1 + static_cast<int>(rng() % 6);
      QByteArray junk;
      for (int k = 0; k < n; ++k) junk += noise[rng() % (sizeof noise - 1)];
      if (!randomReads) s.chunks << junk;
      all += junk;
    }
    const QByteArray m = kinds[rng() % std::size(kinds)];
    if (!randomReads) s.chunks << m;
    all += m;
    ++s.messages;
  }
  if (randomReads) {
    for (qsizetype i = 0; i < all.size();) {
      const qsizetype n = std::min<qsizetype>(1 + static_cast<qsizetype>(rng() % 64), all.size() - i);
      s.chunks << all.mid(i, n);
      i += n;
    }
  }
  s.bytes = all.size();
  return s;
}

void runDecoder(benchmark::State& state, const Stream& stream) {
  auto view = std::make_shared<CountingView>();
  ostrel::mainViewController = view;
  auto helper = std::make_shared<ostrel::PelSerialPortHelper>();
  PelSerialPortRef port = ostrel::test::FakeSerialPort::create("ttyBENCH");
  for (auto _ : state) {
    for (const QByteArray& chunk : stream.chunks) helper->serialPortDidReceiveData(port, chunk);
  }
  state.SetItemsProcessed(state.iterations() * stream.messages);
  state.SetBytesProcessed(state.iterations() * stream.bytes);
  state.counters["routed_calls"] = static_cast<double>(view->calls) / static_cast<double>(state.iterations());
  ostrel::mainViewController.reset();
}

void BM_DecodeRandomReads(benchmark::State& state) {
  static const Stream stream = makeStream(true);
  ostrel::LogDiscard quiet;
  runDecoder(state, stream);
}
BENCHMARK(BM_DecodeRandomReads);

void BM_DecodeOneMessagePerRead(benchmark::State& state) {
  static const Stream stream = makeStream(false);
  ostrel::LogDiscard quiet;
  runDecoder(state, stream);
}
BENCHMARK(BM_DecodeOneMessagePerRead);

// With every log line formatted and written, to /dev/null instead of a terminal.
void BM_DecodeRandomReadsWithLogging(benchmark::State& state) {
  static const Stream stream = makeStream(true);
  const int saved = ::dup(STDERR_FILENO);
  const int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ::dup2(devnull, STDERR_FILENO);
  runDecoder(state, stream);
  ::dup2(saved, STDERR_FILENO);
  ::close(devnull);
  ::close(saved);
}
BENCHMARK(BM_DecodeRandomReadsWithLogging);

void BM_EncodeFrameText(benchmark::State& state) {
  std::int32_t p = 0;
  for (auto _ : state) benchmark::DoNotOptimize(ostrel::pelCommandFrameText(1, ++p % 9 + 1));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeFrameText);

void BM_SendCommand(benchmark::State& state) {
  ostrel::LogDiscard quiet;
  ostrel::currentPort.store(std::make_shared<NullPort>());
  ostrel::UtilsPelSerialPortsValue utils;
  std::int32_t p = 0;
  for (auto _ : state) benchmark::DoNotOptimize(utils.sendCommand(1, ++p % 9 + 1));
  state.SetItemsProcessed(state.iterations());
  ostrel::currentPort.reset();
}
BENCHMARK(BM_SendCommand);

// One timed pass: from startPin until a monitor is in the list (5 s at most).
void timeDiscoveryPass(ostrel::UtilsPelSerialPortsValue& utils, benchmark::State& state) {
  QElapsedTimer t;
  t.start();
  utils.startPin();
  while (ostrel::caluPortsArr->isEmpty() && t.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
  if (ostrel::caluPortsArr->isEmpty()) state.SkipWithError("monitor not accepted");
}

// From startPin to the monitor in the list, with the monitor last of N ports.
void BM_DiscoveryAcceptsMonitor(benchmark::State& state) {
  ostrel::LogDiscard quiet;
  ostrel::LogCapture openedNotices;  // keeps "Serial port ... was opened" off the report
  const int n = static_cast<int>(state.range(0));
  QList<PelSerialPortRef> ports;
  for (int i = 0; i < n; ++i) {
    auto p = ostrel::test::FakeSerialPort::create(QStringLiteral("ttyB%1").arg(i));
    if (i == n - 1) p->answerProbeWithMCUVersion(48);
    ports << p;
  }
  auto view = std::make_shared<CountingView>();
  for (auto _ : state) {
    ostrel::UtilsPelSerialPortsValue utils;
    utils.setAvailablePortsSource([&ports] { return ports; });
    utils.startPinAvailablePorts(std::make_shared<QList<PelSerialPortRef>>(), view);
    timeDiscoveryPass(utils, state);
  }
  ostrel::mainViewController.reset();
}
BENCHMARK(BM_DiscoveryAcceptsMonitor)->Arg(1)->Arg(8)->Arg(16)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same on real serial ports: N pseudo-terminals published as virtual ports,
// the monitor's far end answering the probe from a thread of its own, every
// pass starting with all ports closed (so the look for other programs holding
// them, /proc included, and the opens are part of it). Second argument 1: the
// monitor's adapter is remembered, as from the second start on.
class ProbeAnswerer {
 public:
  explicit ProbeAnswerer(int master) : master_(master), thread_([this] { run(); }) {}
  ~ProbeAnswerer() {
    stop_ = true;
    thread_.join();
  }

 private:
  void run() {
    QByteArray seen;
    char buffer[256];
    while (!stop_) {
      struct pollfd p = {master_, POLLIN, 0};
      if (::poll(&p, 1, 10) <= 0) continue;
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      seen.append(buffer, n);
      if (seen.contains("5FF50A10")) {
        const QByteArray answer("5FF5F00A103000000000A0FA");
        (void)!::write(master_, answer.constData(), static_cast<size_t>(answer.size()));
        seen.clear();
      }
      if (seen.size() > 64) seen = seen.right(24);
    }
  }
  int master_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void BM_DiscoveryOnPseudoTerminals(benchmark::State& state) {
  ostrel::LogDiscard quiet;
  ostrel::LogCapture openedNotices;
  const int n = static_cast<int>(state.range(0));
  const bool remembered = state.range(1) != 0;
  std::vector<std::unique_ptr<ostrel::bench::BenchPseudoTerminal>> lines;
  for (int i = 0; i < n; ++i) {
    lines.push_back(std::make_unique<ostrel::bench::BenchPseudoTerminal>(QStringLiteral("bench-pty%1").arg(i)));
  }
  ProbeAnswerer monitor(lines.back()->master());
  ostrel::PelDeviceRegistry registry;
  registry.addBackend(ostrel::platform::makeVirtualPortBackend());
  ostrel::PelSerialPortManager manager(registry);
  QList<PelSerialPortRef> ports;
  for (const auto& p : manager.availablePorts()) ports << p;
  if (ports.size() != n) state.SkipWithError("the ports are not listed");
  const QString identity = QStringLiteral("path:") + lines.back()->link();
  auto view = std::make_shared<CountingView>();
  for (auto _ : state) {
    ostrel::UtilsPelSerialPortsValue utils;
    utils.setAvailablePortsSource([&ports] { return ports; });
    utils.setAdapterMemory({[&] { return remembered ? identity : QString(); }, [](const QString&) {}});
    utils.startPinAvailablePorts(std::make_shared<QList<PelSerialPortRef>>(), view);
    timeDiscoveryPass(utils, state);
    state.PauseTiming();
    for (const auto& p : manager.availablePorts()) p->close();
    for (const auto& p : manager.availablePorts()) p->waitUntilClosed();
    ostrel::caluPortsArr = std::make_shared<QList<PelSerialPortRef>>();
    ostrel::currentPort.reset();
    state.ResumeTiming();
  }
  manager.cleanupAllPortsForExit();
  ostrel::mainViewController.reset();
  ostrel::serialPortHelper.reset();
}
// The look through /proc for other programs holding N ports' devices, which
// every pass makes before it opens a port.
void BM_LookForOtherProgramsHoldingPorts(benchmark::State& state) {
  std::vector<std::unique_ptr<ostrel::bench::BenchPseudoTerminal>> lines;
  QStringList paths;
  for (int i = 0; i < state.range(0); ++i) {
    lines.push_back(std::make_unique<ostrel::bench::BenchPseudoTerminal>(QStringLiteral("bench-held%1").arg(i)));
    paths << lines.back()->link();
  }
  for (auto _ : state) benchmark::DoNotOptimize(ostrel::platform::deviceUsers(paths));
}
BENCHMARK(BM_LookForOtherProgramsHoldingPorts)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

// Another process holding `path` open until release(), as a terminal program.
class Holder {
 public:
  explicit Holder(const QString& path) {
    int ready[2];
    if (::pipe(ready) != 0 || ::pipe(hold_) != 0) return;
    const QByteArray encoded = QFile::encodeName(path);
    pid_ = ::fork();
    if (pid_ == 0) {
      // Not the far end's descriptor, or the holder would count as the device.
      for (int fd = 3; fd < 1024; ++fd) {
        if (fd != ready[1] && fd != hold_[0]) ::close(fd);
      }
      const int fd = ::open(encoded.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      char byte = fd >= 0 ? 'y' : 'n';
      (void)!::write(ready[1], &byte, 1);
      ::close(hold_[1]);
      (void)!::read(hold_[0], &byte, 1);  // until the parent closes its end
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(hold_[0]);
    char byte = 0;
    held_ = ::read(ready[0], &byte, 1) == 1 && byte == 'y';
    ::close(ready[0]);
  }
  ~Holder() { release(); }
  bool held() const { return held_; }
  // Returns once the holder is gone, its descriptors with it.
  void release() {
    if (pid_ <= 0) return;
    ::close(hold_[1]);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  int hold_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool held_ = false;
};

// From the holder's exit to the monitor in the list, the pass having skipped it.
void BM_HeldMonitorAcceptedAfterItsProgramLetsGo(benchmark::State& state) {
  ostrel::LogDiscard quiet;
  ostrel::LogCapture openedNotices;
  ostrel::bench::BenchPseudoTerminal line(QStringLiteral("bench-heldmon"));
  ProbeAnswerer monitor(line.master());
  ostrel::PelDeviceRegistry registry;
  registry.addBackend(ostrel::platform::makeVirtualPortBackend());
  ostrel::PelSerialPortManager manager(registry);
  QList<PelSerialPortRef> ports;
  for (const auto& p : manager.availablePorts()) ports << p;
  if (ports.size() != 1) state.SkipWithError("the port is not listed");
  auto view = std::make_shared<CountingView>();
  for (auto _ : state) {
    ostrel::UtilsPelSerialPortsValue utils;
    utils.setAvailablePortsSource([&ports] { return ports; });
    utils.startPinAvailablePorts(std::make_shared<QList<PelSerialPortRef>>(), view);
    Holder holder(line.link());
    if (!holder.held()) state.SkipWithError("the holder could not open the port");
    utils.startPin();
    if (utils.heldPorts().size() != 1) state.SkipWithError("the pass did not skip the held port");
    QElapsedTimer t;
    holder.release();
    t.start();
    while (ostrel::caluPortsArr->isEmpty() && t.elapsed() < 5000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    if (ostrel::caluPortsArr->isEmpty()) state.SkipWithError("monitor not accepted");
    state.PauseTiming();
    for (const auto& p : manager.availablePorts()) p->close();
    for (const auto& p : manager.availablePorts()) p->waitUntilClosed();
    ostrel::caluPortsArr = std::make_shared<QList<PelSerialPortRef>>();
    ostrel::currentPort.reset();
    state.ResumeTiming();
  }
  manager.cleanupAllPortsForExit();
  ostrel::mainViewController.reset();
  ostrel::serialPortHelper.reset();
}
BENCHMARK(BM_HeldMonitorAcceptedAfterItsProgramLetsGo)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK(BM_DiscoveryOnPseudoTerminals)
    ->Args({1, 0})
    ->Args({8, 0})
    ->Args({16, 0})
    ->Args({1, 1})
    ->Args({8, 1})
    ->Args({16, 1})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The pseudo-terminal ports go into a private virtual-port directory.
  QTemporaryDir runtime;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
