#include "ostrel-sim/PortOpenWatch.h"

#include <sys/inotify.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace ostrel::sim {

std::optional<PortOpenWatch> PortOpenWatch::watch(const QString& devicePath, QString* error) {
  UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!fd.valid()) {
    if (error) *error = QStringLiteral("inotify: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return std::nullopt;
  }
  if (::inotify_add_watch(fd.get(), QFile::encodeName(devicePath).constData(), IN_OPEN | IN_CLOSE) < 0) {
    if (error)
      *error = QStringLiteral("cannot watch %1: %2").arg(devicePath, QString::fromLocal8Bit(std::strerror(errno)));
    return std::nullopt;
  }
  return PortOpenWatch(std::move(fd));
}

PortOpenWatch::Changes PortOpenWatch::take() {
  Changes changes;
  alignas(struct inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(struct inotify_event)) <= n;) {
      struct inotify_event event {};
      std::memcpy(&event, buffer + at, sizeof event);
      if (event.mask & IN_Q_OVERFLOW) changes.lostTrack = true;
      if (event.mask & IN_OPEN) ++changes.opened;
      if (event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) ++changes.closed;
      at += static_cast<ssize_t>(sizeof event) + event.len;
    }
  }
  return changes;
}

}  // namespace ostrel::sim
