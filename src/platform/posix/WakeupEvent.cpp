#include "platform/posix/WakeupEvent.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace ostrel::platform {

WakeupEvent::WakeupEvent() {
  fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd_ >= 0 && fd_ < 3) {
    // Same reason as for terminals: keep clear of the standard descriptors.
    const int moved = ::fcntl(fd_, F_DUPFD_CLOEXEC, 3);
    ::close(fd_);
    fd_ = moved;
  }
}

WakeupEvent::~WakeupEvent() {
  if (fd_ >= 0) ::close(fd_);
}

void WakeupEvent::signal() const {
  if (fd_ < 0) return;
  const std::uint64_t one = 1;
  // Only EINTR is worth a retry; a full counter (EAGAIN) is readable anyway.
  while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

}  // namespace ostrel::platform
