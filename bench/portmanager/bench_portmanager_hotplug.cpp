// How long a virtual port takes from its link appearing in the virtual-port
// directory to the port manager's connected notification (inotify, the
// directory rescan, port creation, the list insertion and the post).
//
//   bench_portmanager_hotplug [runs]     (default 50)
//
// Runs in a private XDG_RUNTIME_DIR so that nothing of the user's is touched.
#include "common/Log.h"
#include "common/NotificationCenter.h"
#include "platform/posix/VirtualPortBackend.h"
#include "platform/posix/VirtualPortDirectory.h"
#include "serial/PelDeviceRegistry.h"
#include "serial/PelSerialPortManager.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The slave side of a fresh pseudo-terminal; the master stays open meanwhile.
struct Pty {
  int master = -1;
  QString slave;
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
    char name[128] = {};
    if (::ptsname_r(master, name, sizeof name) == 0) slave = QString::fromLocal8Bit(name);
  }
  ~Pty() {
    if (master >= 0) ::close(master);
  }
};

template <typename Done>
bool spin(Done done, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
  return v[i];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  QTemporaryDir runtime;
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  QCoreApplication app(argc, argv);
  ostrel::LogDiscard quiet;

  QString error;
  const auto dir = ostrel::platform::ensureVirtualPortDirectory(&error);
  Pty pty;
  if (!dir || pty.slave.isEmpty()) {
    std::fprintf(stderr, "cannot set up: %s\n", dir ? "no pseudo-terminal" : error.toLocal8Bit().constData());
    return 1;
  }
  ostrel::PelDeviceRegistry registry;
  registry.addBackend(ostrel::platform::makeVirtualPortBackend());
  ostrel::PelSerialPortManager manager(registry);

  int connected = 0, disconnected = 0;
  auto& center = ostrel::NotificationCenter::defaultCenter();
  ostrel::ScopedObserver c(center, center.addObserver(ostrel::PelSerialPortsWereConnectedNotification, &manager,
                                                      [&](const ostrel::Notification&) { ++connected; }));
  ostrel::ScopedObserver d(center, center.addObserver(ostrel::PelSerialPortsWereDisconnectedNotification, &manager,
                                                      [&](const ostrel::Notification&) { ++disconnected; }));

  const QByteArray link = QFile::encodeName(*dir + QStringLiteral("/ttyBench"));
  const QByteArray target = QFile::encodeName(pty.slave);
  std::vector<double> micros;
  micros.reserve(static_cast<size_t>(runs));
  for (int i = 0; i < runs; ++i) {
    const int before = connected;
    QElapsedTimer t;
    t.start();
    if (::symlink(target.constData(), link.constData()) != 0) {
      std::perror("symlink");
      return 1;
    }
    if (!spin([&] { return connected > before; }, 10000)) {
      std::fprintf(stderr, "run %d: no connected notification within 10 s\n", i);
      return 1;
    }
    micros.push_back(static_cast<double>(t.nsecsElapsed()) / 1000.0);
    const int gone = disconnected;
    ::unlink(link.constData());
    if (!spin([&] { return disconnected > gone; }, 10000)) {
      std::fprintf(stderr, "run %d: no disconnected notification within 10 s\n", i);
      return 1;
    }
  }
  std::printf("link created -> PelSerialPortWasConnectedNotification, %d runs\n", runs);
  std::printf("  median %.0f us   p10 %.0f us   p90 %.0f us   min %.0f us   max %.0f us\n", percentile(micros, 0.5),
              percentile(micros, 0.1), percentile(micros, 0.9), *std::min_element(micros.begin(), micros.end()),
              *std::max_element(micros.begin(), micros.end()));
  return 0;
}
