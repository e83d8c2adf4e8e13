#include "app/TerminationSignals.h"

#include "common/Log.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace ostrel {

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, read on the main thread. A process has one set of
// handlers, so one pipe serves them.
int gWakeWrite = -1;

void onSignal(int signalNumber) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  [[maybe_unused]] const ssize_t ignored = ::write(gWakeWrite, &byte, 1);
  errno = saved;
}

}  // namespace

struct TerminationSignals::Saved {
  int readEnd = -1;
  int writeEnd = -1;
  std::array<struct sigaction, kSignals.size()> previous{};
  std::size_t installed = 0;

  ~Saved() {
    for (std::size_t i = 0; i < installed; ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
    if (gWakeWrite == writeEnd) gWakeWrite = -1;
    if (readEnd >= 0) ::close(readEnd);
    if (writeEnd >= 0) ::close(writeEnd);
  }
};

TerminationSignals::TerminationSignals() : saved_(std::make_unique<Saved>()) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    log("Ostrel does not end in order on SIGTERM: no pipe (%s)", std::strerror(errno));
    return;
  }
  saved_->readEnd = fds[0];
  saved_->writeEnd = fds[1];
  gWakeWrite = fds[1];
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) {
    if (::sigaction(s, &action, &saved_->previous[saved_->installed]) != 0) {
      log("Ostrel does not end in order on signal %d: %s", s, std::strerror(errno));
      continue;
    }
    ++saved_->installed;
  }
  notifier_ = std::make_unique<QSocketNotifier>(saved_->readEnd, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { received(); });
}

TerminationSignals::~TerminationSignals() {
  notifier_.reset();
  saved_.reset();
}

void TerminationSignals::received() {
  unsigned char bytes[16];
  while (::read(saved_->readEnd, bytes, sizeof bytes) > 0) {
  }
  QCoreApplication::quit();
}

}  // namespace ostrel
