// Write-to-peer latency: sendData() of one 24-byte frame until the far end of
// the pseudo-terminal has read all 24 bytes; median and 99th percentile over
// 10,000 frames (first argument to change the count). Then how long a write
// waits on a line whose peer stopped reading before it gives up.

#include "BenchPseudoTerminal.h"

#include "common/Log.h"
#include "serial/PelSerialPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ostrel;

namespace {

bool readFrame(int fd, char* buffer, int size) {
  int got = 0;
  while (got < size) {
    struct pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) return false;
    const ssize_t n = ::read(fd, buffer + got, static_cast<size_t>(size - got));
    if (n <= 0) return false;
    got += static_cast<int>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir runtime;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  QCoreApplication app(argc, argv);
  LogDiscard quiet;
  const int frames = argc > 1 ? std::atoi(argv[1]) : 10000;

  bench::BenchPseudoTerminal pty(QStringLiteral("latency"));
  auto port = PelSerialPort::serialPortWithPath(pty.link());
  if (!port) return 1;
  port->open();
  if (!port->isOpen()) return 1;

  const QByteArray frame("5FF50105000000000000A0FA");
  char buffer[64];
  std::vector<double> micros;
  micros.reserve(static_cast<size_t>(frames));
  for (int i = 0; i < frames + 200; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!port->sendData(frame) || !readFrame(pty.master(), buffer, 24)) {
      std::fprintf(stderr, "frame %d lost\n", i);
      return 1;
    }
    const auto t1 = std::chrono::steady_clock::now();
    if (i >= 200) micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    if (i % 500 == 0) QCoreApplication::processEvents();
  }
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double q) { return micros[static_cast<size_t>(q * static_cast<double>(micros.size() - 1))]; };
  std::printf("write-to-peer latency over %d frames of 24 bytes: median %.1f us, p99 %.1f us, max %.1f us\n", frames,
              at(0.5), at(0.99), micros.back());

  // A peer that stopped reading: how long a caller waits before the frame is
  // dropped (the bound is PelSerialPort::kWriteBoundMs plus the frame's time
  // on the line), from the main thread and with a second writer waiting.
  pty.setOutputStopped(true);
  std::vector<double> stalled;
  for (int i = 0; i < 20; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (port->sendData(frame)) {
      std::fprintf(stderr, "a frame went through a stopped line\n");
      return 1;
    }
    stalled.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  double worstWithSecond = 0;
  for (int i = 0; i < 5; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    std::thread other([&] { port->sendData(frame); });
    port->sendData(frame);
    worstWithSecond = std::max(
        worstWithSecond, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    other.join();
  }
  pty.setOutputStopped(false);
  std::sort(stalled.begin(), stalled.end());
  std::printf(
      "stalled line: a 24-byte write gives up after median %.1f ms, max %.1f ms (bound %d ms); with a second "
      "writer waiting, the main thread waits at most %.1f ms\n",
      stalled[stalled.size() / 2], stalled.back(), PelSerialPort::kWriteBoundMs, worstWithSecond);
  port->close();
  QElapsedTimer t;
  t.start();
  while (port->isOpen() && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return 0;
}
