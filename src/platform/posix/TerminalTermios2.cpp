#include "platform/posix/TerminalTermios2.h"

#include <algorithm>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace ostrel::platform::termios2 {
namespace {

int getKernelAttributes(int fd, struct termios2* t) {
  while (::ioctl(fd, TCGETS2, t) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int setKernelAttributes(int fd, const struct termios2* t) {
  while (::ioctl(fd, TCSETS2, t) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

constexpr std::size_t kKernelControlChars = sizeof(static_cast<struct termios2*>(nullptr)->c_cc);

}  // namespace

int readAttributes(int fd, TerminalAttributes* out) {
  struct termios2 t {};
  if (const int e = getKernelAttributes(fd, &t)) return e;
  *out = TerminalAttributes{};
  out->c_iflag = t.c_iflag;
  out->c_oflag = t.c_oflag;
  out->c_cflag = t.c_cflag;
  out->c_lflag = t.c_lflag;
  out->c_line = t.c_line;
  std::copy_n(t.c_cc, std::min(kKernelControlChars, out->c_cc.size()), out->c_cc.begin());
  out->c_ispeed = t.c_ispeed;
  out->c_ospeed = t.c_ospeed;
  return 0;
}

int writeAttributes(int fd, const TerminalAttributes& a) {
  struct termios2 t {};
  t.c_iflag = static_cast<tcflag_t>(a.c_iflag);
  t.c_oflag = static_cast<tcflag_t>(a.c_oflag);
  t.c_cflag = static_cast<tcflag_t>(a.c_cflag);
  t.c_lflag = static_cast<tcflag_t>(a.c_lflag);
  t.c_line = a.c_line;
  std::copy_n(a.c_cc.begin(), std::min(kKernelControlChars, a.c_cc.size()), t.c_cc);
  t.c_ispeed = static_cast<speed_t>(a.c_ispeed);
  t.c_ospeed = static_cast<speed_t>(a.c_ospeed);
  return setKernelAttributes(fd, &t);
}

int setArbitrarySpeed(int fd, std::uint64_t baudRate) {
  if (baudRate == 0 || baudRate > 0xFFFFFFFFull) return EINVAL;
  struct termios2 t {};
  if (const int e = getKernelAttributes(fd, &t)) return e;
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = static_cast<speed_t>(baudRate);
  t.c_ospeed = static_cast<speed_t>(baudRate);
  return setKernelAttributes(fd, &t);
}

int speeds(int fd, std::uint64_t* input, std::uint64_t* output) {
  struct termios2 t {};
  if (const int e = getKernelAttributes(fd, &t)) return e;
  if (input) *input = t.c_ispeed;
  if (output) *output = t.c_ospeed;
  return 0;
}

}  // namespace ostrel::platform::termios2
