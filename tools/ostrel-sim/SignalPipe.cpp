#include "ostrel-sim/SignalPipe.h"

#include <fcntl.h>
#include <unistd.h>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace ostrel::sim {
namespace {

// A signal handler can reach nothing but a plain global; this is the write end.
std::atomic<int> signalWriteFd{-1};

constexpr std::array kSignals{SIGINT, SIGTERM, SIGHUP};

extern "C" void forwardSignal(int signo) {
  const int savedErrno = errno;
  const int fd = signalWriteFd.load();
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

std::unique_ptr<SignalPipe> SignalPipe::install(QString* error) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    if (error)
      *error = QStringLiteral("cannot create the signal pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return nullptr;
  }
  std::unique_ptr<SignalPipe> pipe(new SignalPipe);
  pipe->read_ = UniqueFd(fds[0]);
  pipe->write_ = UniqueFd(fds[1]);
  signalWriteFd.store(fds[1]);

  struct sigaction action {};
  action.sa_handler = forwardSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signo : kSignals) ::sigaction(signo, &action, nullptr);

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
  // Started with `&` from an interactive shell, a read of the terminal would
  // stop the simulator; with SIGTTIN ignored the read fails instead and the
  // simulator carries on without its console.
  ::sigaction(SIGTTIN, &ignore, nullptr);
  return pipe;
}

SignalPipe::~SignalPipe() {
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (int signo : kSignals) ::sigaction(signo, &fallback, nullptr);
  signalWriteFd.store(-1);
}

std::optional<int> SignalPipe::take() {
  unsigned char byte = 0;
  if (::read(read_.get(), &byte, 1) != 1) return std::nullopt;
  return static_cast<int>(byte);
}

}  // namespace ostrel::sim
