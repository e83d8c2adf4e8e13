#include "platform/posix/TerminalDevice.h"

#include "platform/posix/TerminalTermios2.h"
#include "platform/posix/WakeupEvent.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace ostrel::platform {
namespace {

// The B-constant for a rate, or 0 when the rate has none.
speed_t speedConstant(std::uint64_t rate) {
  struct Pair {
    std::uint64_t rate;
    speed_t code;
  };
  static constexpr Pair kTable[] = {
      {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
      {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
      {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
      {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
      {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
      {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
  };
  for (const Pair& p : kTable) {
    if (p.rate == rate) return p.code;
  }
  return 0;
}

int retryIoctl(int fd, unsigned long request, void* arg) {
  while (::ioctl(fd, request, arg) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int getAttributes(int fd, struct termios* t) {
  while (::tcgetattr(fd, t) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int setAttributesNow(int fd, const struct termios* t) {
  while (::tcsetattr(fd, TCSANOW, t) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

std::unique_ptr<TerminalDevice> TerminalDevice::open(const QString& path, int* error) {
  auto fail = [error](int e) -> std::unique_ptr<TerminalDevice> {
    if (error) *error = e;
    return nullptr;
  };
  const QByteArray encoded = QFile::encodeName(path);
  if (encoded.isEmpty()) return fail(ENOENT);
  int fd = -1;
  do {
    fd = ::open(encoded.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return fail(errno);
  if (fd < 3) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int e = errno;
    ::close(fd);
    if (moved < 0) return fail(e);
    fd = moved;
  }
  // From here the object owns fd, so every early return closes it.
  std::unique_ptr<TerminalDevice> device(new TerminalDevice(fd));
  if (!::isatty(fd)) return fail(ENOTTY);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    // Someone else holds the line; "busy" says that better than EWOULDBLOCK.
    return fail(errno == EWOULDBLOCK ? EBUSY : errno);
  }
  if (const int e = retryIoctl(fd, TIOCEXCL, nullptr)) return fail(e);
  device->claimed_ = true;
  // Replies are 24 bytes; without low latency some USB drivers hold them back for
  // a timer tick. Drivers that refuse (pseudo-terminals, most of them) are fine.
  struct serial_struct serial {};
  if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
    serial.flags |= ASYNC_LOW_LATENCY;
    (void)::ioctl(fd, TIOCSSERIAL, &serial);
  }
  if (error) *error = 0;
  return device;
}

TerminalDevice::~TerminalDevice() { (void)close(); }

int TerminalDevice::close() {
  if (fd_ < 0) return 0;
  // The exclusive flag outlives our descriptor on a pseudo-terminal (its tty
  // lives as long as the other side), so clear it or the next open is refused.
  // Only ours to clear: a refused open must not unlock the holder's line.
  if (claimed_) {
    (void)::ioctl(fd_, TIOCNXCL);
    (void)::flock(fd_, LOCK_UN);
  }
  claimed_ = false;
  const int fd = fd_;
  fd_ = -1;
  // Linux releases the descriptor even when close() reports EINTR: never retry.
  return ::close(fd) == 0 ? 0 : errno;
}

int TerminalDevice::attributes(TerminalAttributes* out) const { return termios2::readAttributes(fd_, out); }

int TerminalDevice::restore(const TerminalAttributes& attributes) { return termios2::writeAttributes(fd_, attributes); }

int TerminalDevice::apply(const TerminalLineSettings& s) {
  struct termios t {};
  if (const int e = getAttributes(fd_, &t)) return e;
  ::cfmakeraw(&t);
  // cfmakeraw leaves these as the last program set them, and a USB adapter's
  // line keeps its settings between opens: with them a 0x13 in a frame would
  // stop the other side, or any byte restart ours.
  t.c_iflag &= ~static_cast<tcflag_t>(IXOFF | IXANY);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 2;
  t.c_cflag = static_cast<tcflag_t>(controlFlagsFor(s, t.c_cflag));
  t.c_lflag = static_cast<tcflag_t>(localFlagsFor(s, t.c_lflag));

  const speed_t code = speedConstant(s.baudRate);
  if (code != 0) {
    ::cfsetispeed(&t, code);
    ::cfsetospeed(&t, code);
    return setAttributesNow(fd_, &t);
  }
  if (!s.allowNonStandardBaudRate) return EINVAL;
  // Everything but the speed through the ordinary call, then the rate itself.
  if (const int e = setAttributesNow(fd_, &t)) return e;
  return termios2::setArbitrarySpeed(fd_, s.baudRate);
}

std::uint64_t TerminalDevice::controlFlagsFor(const TerminalLineSettings& s, std::uint64_t current) {
  tcflag_t c = static_cast<tcflag_t>(current);
  c &= ~static_cast<tcflag_t>(CSIZE);
  if (s.dataBits == 7) c |= CS7;
  else if (s.dataBits == 8) c |= CS8;
  switch (s.parity) {
    case TerminalParity::None: c &= ~static_cast<tcflag_t>(PARENB); break;
    case TerminalParity::Odd: c |= PARENB | PARODD; break;
    case TerminalParity::Even:
      c |= PARENB;
      c &= ~static_cast<tcflag_t>(PARODD);
      break;
  }
  if (s.stopBits >= 2) c |= CSTOPB;
  else c &= ~static_cast<tcflag_t>(CSTOPB);
  if (s.rtsCtsFlowControl) c |= CRTSCTS;
  else c &= ~static_cast<tcflag_t>(CRTSCTS);
  // DTR/DSR and carrier-driven output flow control have no Linux line
  // discipline; the port keeps those settings but nothing here can apply them.
  c |= CREAD | HUPCL | CLOCAL;
  return c;
}

std::uint64_t TerminalDevice::localFlagsFor(const TerminalLineSettings& s, std::uint64_t current) {
  tcflag_t l = static_cast<tcflag_t>(current);
  if (s.echo) l |= ECHO;
  else l &= ~static_cast<tcflag_t>(ECHO);
  l &= ~static_cast<tcflag_t>(ICANON | ISIG);
  return l;
}

int TerminalDevice::clearHardwareFlowControl() {
  struct termios t {};
  if (const int e = getAttributes(fd_, &t)) return e;
  if (!(t.c_cflag & CRTSCTS)) return 0;
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  return setAttributesNow(fd_, &t);
}

int TerminalDevice::modemLines(std::uint32_t* bits) const {
  int raw = 0;
  if (const int e = retryIoctl(fd_, TIOCMGET, &raw)) return e;
  std::uint32_t out = 0;
  if (raw & TIOCM_RTS) out |= static_cast<std::uint32_t>(ModemLine::RTS);
  if (raw & TIOCM_DTR) out |= static_cast<std::uint32_t>(ModemLine::DTR);
  if (raw & TIOCM_CTS) out |= static_cast<std::uint32_t>(ModemLine::CTS);
  if (raw & TIOCM_DSR) out |= static_cast<std::uint32_t>(ModemLine::DSR);
  if (raw & TIOCM_CAR) out |= static_cast<std::uint32_t>(ModemLine::DCD);
  *bits = out;
  return 0;
}

int TerminalDevice::setOutputLines(bool rts, bool dtr) {
  int raw = 0;
  (void)retryIoctl(fd_, TIOCMGET, &raw);
  if (rts) raw |= TIOCM_RTS;
  else raw &= ~TIOCM_RTS;
  if (dtr) raw |= TIOCM_DTR;
  else raw &= ~TIOCM_DTR;
  return retryIoctl(fd_, TIOCMSET, &raw);
}

TerminalReadResult TerminalDevice::read(char* buffer, std::size_t capacity) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, capacity);
    if (n >= 0) return {n, 0};
    if (errno != EINTR) return {-1, errno};
  }
}

std::ptrdiff_t TerminalDevice::write(const char* data, std::size_t length, int* error) {
  for (;;) {
    const ssize_t n = ::write(fd_, data, length);
    if (n >= 0) return n;
    if (errno != EINTR) {
      if (error) *error = errno;
      return -1;
    }
  }
}

TerminalWait TerminalDevice::wait(bool forWrite, const WakeupEvent& wakeup, int timeoutMs) const {
  using Clock = std::chrono::steady_clock;
  const short wanted = forWrite ? POLLOUT : POLLIN;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    struct pollfd fds[2] = {{fd_, wanted, 0}, {wakeup.descriptor(), POLLIN, 0}};
    int waitMs = -1;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      waitMs = left > 0 ? static_cast<int>(left) : 0;
    }
    const int n = ::poll(fds, 2, waitMs);
    if (n < 0) {
      if (errno == EINTR) continue;
      return TerminalWait::HungUp;  // EFAULT/ENOMEM: nothing sensible left to wait on
    }
    if (n == 0) return TerminalWait::TimedOut;
    if (fds[1].revents) return TerminalWait::Cancelled;
    // Data that arrived before a hang-up is still delivered first.
    if (fds[0].revents & wanted) return TerminalWait::Ready;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return TerminalWait::HungUp;
  }
}

TerminalOutputResult TerminalDevice::waitUntilSent(const WakeupEvent* wakeup, int timeoutMs) const {
  using Clock = std::chrono::steady_clock;
  // A frame leaves a USB adapter within a millisecond or two of the write: look
  // that often, so that a caller on the main thread waits no longer than that.
  constexpr int kLookEveryMs = 1;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    int queued = 0;
    if (const int e = retryIoctl(fd_, TIOCOUTQ, &queued)) {
      // A driver that cannot tell has nothing we could wait for; any other
      // answer (EIO once the adapter is gone) means the bytes are lost.
      if (e == ENOTTY || e == EINVAL) return {};
      return {TerminalOutput::Failed, 0, e};
    }
    if (queued <= 0) return {};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return {TerminalOutput::TimedOut, queued, 0};
    // No events asked for: poll() still reports a hang-up, and the wake-up event ends the wait.
    struct pollfd fds[2] = {{fd_, 0, 0}, {wakeup ? wakeup->descriptor() : -1, POLLIN, 0}};
    const int n = ::poll(fds, wakeup ? 2 : 1, static_cast<int>(std::min<long long>(left, kLookEveryMs)));
    if (n < 0 && errno != EINTR) return {TerminalOutput::Failed, 0, errno};
    if (n <= 0) continue;
    if (fds[1].revents) return {TerminalOutput::Cancelled, queued, 0};
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return {TerminalOutput::Failed, 0, EIO};
  }
}

void TerminalDevice::discardOutput() {
  while (::tcflush(fd_, TCOFLUSH) != 0 && errno == EINTR) {
  }
}

bool TerminalDevice::drainOutput(int boundMs) {
  if (waitUntilSent(nullptr, boundMs).state != TerminalOutput::TimedOut) return true;
  discardOutput();
  return false;
}

int TerminalDevice::speeds(std::uint64_t* input, std::uint64_t* output) const {
  return termios2::speeds(fd_, input, output);
}

}  // namespace ostrel::platform
