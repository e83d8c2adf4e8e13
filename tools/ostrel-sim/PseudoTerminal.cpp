#include "ostrel-sim/PseudoTerminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ostrel::sim {
namespace {

QString systemError(const char* what) {
  return QStringLiteral("%1: %2").arg(QString::fromUtf8(what), QString::fromLocal8Bit(std::strerror(errno)));
}

bool addDescriptorFlags(int fd, int flags) {
  const int current = ::fcntl(fd, F_GETFD);
  return current >= 0 && ::fcntl(fd, F_SETFD, current | flags) == 0;
}

bool addStatusFlags(int fd, int flags) {
  const int current = ::fcntl(fd, F_GETFL);
  return current >= 0 && ::fcntl(fd, F_SETFL, current | flags) == 0;
}

IoResult classify(ssize_t n) {
  IoResult r;
  if (n >= 0) {
    r.bytes = static_cast<std::size_t>(n);
    return r;
  }
  r.error = errno;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
    r.status = IoResult::Status::WouldBlock;
  } else if (errno == EIO || errno == ENXIO || errno == ENODEV) {
    r.status = IoResult::Status::HungUp;
  } else {
    r.status = IoResult::Status::Failed;
  }
  return r;
}

}  // namespace

std::optional<PseudoTerminal> PseudoTerminal::open(QString* error) {
  int master = -1;
  int slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    if (error) *error = systemError("cannot create a pseudo-terminal (openpty)");
    return std::nullopt;
  }
  PseudoTerminal pty;
  pty.master_ = UniqueFd(master);
  pty.slave_ = UniqueFd(slave);

  char name[128] = {};
  if (::ptsname_r(master, name, sizeof name) != 0) {
    if (error) *error = systemError("cannot name the pseudo-terminal (ptsname_r)");
    return std::nullopt;
  }
  pty.slavePath_ = QString::fromLocal8Bit(name);

  if (!addDescriptorFlags(master, FD_CLOEXEC) || !addDescriptorFlags(slave, FD_CLOEXEC) ||
      !addStatusFlags(master, O_NONBLOCK)) {
    if (error) *error = systemError("cannot set descriptor flags");
    return std::nullopt;
  }

  struct termios tio {};
  if (::tcgetattr(slave, &tio) != 0) {
    if (error) *error = systemError("cannot read the terminal settings");
    return std::nullopt;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB | PARENB);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B115200);
  ::cfsetospeed(&tio, B115200);
  if (::tcsetattr(slave, TCSANOW, &tio) != 0) {
    if (error) *error = systemError("cannot make the terminal raw");
    return std::nullopt;
  }
  return pty;
}

PseudoTerminal::~PseudoTerminal() {
  close();
}

IoResult PseudoTerminal::read(char* buffer, std::size_t size) {
  if (!master_.valid()) return IoResult{IoResult::Status::HungUp, 0, EBADF};
  return classify(::read(master_.get(), buffer, size));
}

IoResult PseudoTerminal::write(const char* data, std::size_t size) {
  if (!master_.valid()) return IoResult{IoResult::Status::HungUp, 0, EBADF};
  return classify(::write(master_.get(), data, size));
}

void PseudoTerminal::forgetLastUser() {
  if (!slave_.valid()) return;
  ::ioctl(slave_.get(), TIOCNXCL);
  ::tcflush(slave_.get(), TCIFLUSH);
}

void PseudoTerminal::close() {
  master_.reset();
  slave_.reset();
}

}  // namespace ostrel::sim
