#include "platform/posix/InotifyCloseWatch.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace ostrel::platform {
namespace {

QString systemText(int e) {
  return QString::fromLocal8Bit(std::strerror(e));
}

constexpr std::uint32_t kCloseMask = IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_DELETE_SELF;

}  // namespace

class InotifyCloseWatch::Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

InotifyCloseWatch::InotifyCloseWatch() = default;

InotifyCloseWatch::~InotifyCloseWatch() {
  // The notifiers must go before the descriptor they read.
  notifier_.reset();
  retired_.clear();
  fd_.reset();
}

bool InotifyCloseWatch::open(QString* whyNot) {
  if (fd_) return true;
  if (!reading_) retired_.clear();
  int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) {
    if (whyNot) *whyNot = QStringLiteral("inotify is unavailable: %1").arg(systemText(errno));
    return false;
  }
  if (fd < 3) {
    // Keep clear of the standard descriptors, as for terminals.
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    fd = moved;
    if (fd < 0) {
      if (whyNot) *whyNot = QStringLiteral("inotify is unavailable: %1").arg(systemText(errno));
      return false;
    }
  }
  fd_ = std::make_unique<Descriptor>(fd);
  notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
  return true;
}

void InotifyCloseWatch::closeIfIdle() {
  if (!paths_.empty() || !fd_) return;
  if (notifier_) {
    notifier_->setEnabled(false);
    // Not deleted from inside its own signal: it goes with the next delivery
    // or with this object.
    if (reading_) retired_.push_back(std::move(notifier_));
    notifier_.reset();
  }
  fd_.reset();
}

bool InotifyCloseWatch::watch(const QString& path, QString* whyNot) {
  if (watching(path)) return true;
  // The node itself: a watch on a link's own inode would hear nothing of the
  // device's closes.
  const QString node = QFileInfo(path).canonicalFilePath();
  if (node.isEmpty()) {
    if (whyNot) *whyNot = QStringLiteral("%1 leads to no device").arg(path);
    return false;
  }
  if (!open(whyNot)) return false;
  const int wd = ::inotify_add_watch(fd_->get(), QFile::encodeName(node).constData(), kCloseMask);
  if (wd < 0) {
    if (whyNot) *whyNot = QStringLiteral("cannot watch %1: %2").arg(node, systemText(errno));
    closeIfIdle();
    return false;
  }
  paths_[wd].append(path);
  return true;
}

void InotifyCloseWatch::unwatch(const QString& path) {
  for (auto it = paths_.begin(); it != paths_.end(); ++it) {
    if (!it->second.removeAll(path)) continue;
    if (it->second.isEmpty()) {
      (void)::inotify_rm_watch(fd_->get(), it->first);
      paths_.erase(it);
    }
    break;
  }
  closeIfIdle();
}

void InotifyCloseWatch::readEvents() {
  retired_.clear();
  if (!fd_) return;
  reading_ = true;
  QStringList closed;
  QStringList gone;
  auto tell = [&closed](const QStringList& paths) {
    for (const QString& p : paths) {
      if (!closed.contains(p)) closed.append(p);
    }
  };
  alignas(struct inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_->get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t off = 0; off < n;) {
      const auto* ev = reinterpret_cast<const struct inotify_event*>(buffer + off);
      off += static_cast<ssize_t>(sizeof(struct inotify_event) + ev->len);
      if (ev->mask & IN_Q_OVERFLOW) {
        for (const auto& [wd, given] : paths_) tell(given);
        continue;
      }
      const auto it = paths_.find(ev->wd);
      if (it == paths_.end()) continue;  // removed by unwatch(); its last events trail behind
      tell(it->second);
      if (ev->mask & IN_IGNORED) {
        // The node went away and the kernel dropped its watch: one last word.
        gone += it->second;
        paths_.erase(it);
      }
    }
  }
  const ClosedHandler handler = handler_;
  for (const QString& path : closed) {
    // The handler may unwatch a path told later in this burst.
    if (handler && (watching(path) || gone.contains(path))) handler(path);
  }
  reading_ = false;
  closeIfIdle();
}

bool InotifyCloseWatch::watching(const QString& path) const {
  for (const auto& [wd, given] : paths_) {
    if (given.contains(path)) return true;
  }
  return false;
}

std::unique_ptr<DeviceCloseWatch> makeInotifyCloseWatch() {
  return std::make_unique<InotifyCloseWatch>();
}

}  // namespace ostrel::platform
