#include "platform/posix/VirtualPortBackend.h"

#include "common/Log.h"
#include "platform/posix/VirtualPortDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ostrel::platform {
namespace {

QString systemText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

// Driver names from /proc/devices for one character major.
std::vector<QString> characterDriverNames(unsigned major) {
  std::vector<QString> names;
  QFile f(QStringLiteral("/proc/devices"));
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return names;
  bool inCharacter = false;
  const QList<QByteArray> lines = f.readAll().split('\n');
  for (const QByteArray& raw : lines) {
    const QByteArray line = raw.trimmed();
    if (line.startsWith("Character devices")) {
      inCharacter = true;
      continue;
    }
    if (line.isEmpty() || line.startsWith("Block devices")) {
      inCharacter = false;
      continue;
    }
    if (!inCharacter) continue;
    const qsizetype space = line.indexOf(' ');
    if (space <= 0) continue;
    bool ok = false;
    if (line.left(space).toUInt(&ok) == major && ok) names.push_back(QString::fromLatin1(line.mid(space + 1).trimmed()));
  }
  return names;
}

// A terminal by the kernel's own account, decided without opening the node:
// opening a real serial line raises DTR, which resets some boards.
bool isTerminalDevice(dev_t rdev) {
  const unsigned major = ::major(rdev);
  const unsigned minor = ::minor(rdev);
  const QString sys = QStringLiteral("/sys/dev/char/%1:%2").arg(major).arg(minor);
  const QFileInfo node(sys);
  if (node.exists()) {
    const QString subsystem = QFileInfo(sys + QStringLiteral("/subsystem")).canonicalFilePath();
    if (!subsystem.endsWith(QStringLiteral("/tty"))) return false;
    // The controlling terminal, the console and the multiplexer are terminals
    // in name only; none of them is a line to a device.
    static const std::set<QString> kNotLines = {QStringLiteral("tty"), QStringLiteral("console"), QStringLiteral("ptmx")};
    return kNotLines.count(QFileInfo(node.canonicalFilePath()).fileName()) == 0;
  }
  // Pseudo-terminal slaves have no sysfs entry.
  for (const QString& name : characterDriverNames(major)) {
    if (name == QStringLiteral("pts") || name.startsWith(QStringLiteral("tty"))) return true;
  }
  return false;
}

void splitName(const QString& name, QString* base, QString* suffix) {
  qsizetype i = name.size();
  while (i > 0 && name.at(i - 1).isDigit()) --i;
  *base = name.left(i);
  *suffix = name.mid(i);
}

}  // namespace

VirtualPortBackend::VirtualPortBackend() = default;

VirtualPortBackend::~VirtualPortBackend() { stopWatching(); }

QString VirtualPortBackend::sourceName() const { return QStringLiteral("virtual ports"); }

std::optional<SerialDeviceEntry> VirtualPortBackend::entryForLink(const QString& linkPath, QString* whyNot) {
  auto refuse = [whyNot](const QString& reason) -> std::optional<SerialDeviceEntry> {
    if (whyNot) *whyNot = reason;
    return std::nullopt;
  };
  const QByteArray encoded = QFile::encodeName(linkPath);
  struct stat link {};
  if (::lstat(encoded.constData(), &link) != 0) return refuse(QStringLiteral("cannot inspect it: %1").arg(systemText(errno)));
  if (!S_ISLNK(link.st_mode)) return refuse(QStringLiteral("it is not a symbolic link"));
  struct stat target {};
  if (::stat(encoded.constData(), &target) != 0) {
    return refuse(QStringLiteral("its target %1 cannot be reached: %2")
                      .arg(QFile::symLinkTarget(linkPath), systemText(errno)));
  }
  if (!S_ISCHR(target.st_mode)) {
    return refuse(QStringLiteral("its target %1 is not a character device").arg(QFile::symLinkTarget(linkPath)));
  }
  if (!isTerminalDevice(target.st_rdev)) {
    return refuse(QStringLiteral("its target %1 is not a terminal").arg(QFile::symLinkTarget(linkPath)));
  }
  SerialDeviceEntry e;
  e.identity = QStringLiteral("%1@%2:%3").arg(linkPath).arg(::major(target.st_rdev)).arg(::minor(target.st_rdev));
  e.calloutPath = linkPath;
  e.dialinPath = linkPath;
  e.ttyName = QFileInfo(linkPath).fileName();
  splitName(e.ttyName, &e.baseName, &e.suffix);
  // The link is what the user or the simulator names; its target may change.
  e.adapterIdentity = QStringLiteral("path:") + linkPath;
  return e;
}

std::vector<SerialDeviceEntry> VirtualPortBackend::scan() {
  std::vector<SerialDeviceEntry> found;
  QString error;
  const std::optional<QString> dir = ensureVirtualPortDirectory(&error);
  std::lock_guard lock(mutex_);
  if (!dir) {
    if (error != refusal_) {
      log("Virtual serial ports are off: %@", error);
      refusal_ = error;
    }
    warned_.clear();
    return found;
  }
  refusal_.clear();
  const QStringList names =
      QDir(*dir).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  std::map<QString, QString> warned;
  for (const QString& name : names) {
    const QString path = *dir + QLatin1Char('/') + name;
    QString why;
    if (std::optional<SerialDeviceEntry> e = entryForLink(path, &why)) {
      found.push_back(std::move(*e));
      continue;
    }
    auto previous = warned_.find(path);
    if (previous == warned_.end() || previous->second != why) log("Ignoring virtual serial port %@: %@", path, why);
    warned[path] = why;
  }
  warned_ = std::move(warned);
  return found;
}

std::vector<SerialDeviceEntry> VirtualPortBackend::enumerate() { return scan(); }

bool VirtualPortBackend::addWatch(QString* whyNot) {
  QString error;
  const std::optional<QString> dir = ensureVirtualPortDirectory(&error);
  if (!dir) {
    if (whyNot) *whyNot = error;
    return false;
  }
  const QByteArray encoded = QFile::encodeName(*dir);
  watch_ = ::inotify_add_watch(inotifyFd_, encoded.constData(),
                               IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF |
                                   IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW);
  if (watch_ < 0) {
    if (whyNot) *whyNot = QStringLiteral("cannot watch %1: %2").arg(*dir, systemText(errno));
    return false;
  }
  return true;
}

bool VirtualPortBackend::startWatching(ChangeHandler handler, QString* whyNot) {
  stopWatching();
  inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyFd_ < 0) {
    if (whyNot) *whyNot = QStringLiteral("inotify is unavailable: %1").arg(systemText(errno));
    return false;
  }
  if (!addWatch(whyNot)) {
    ::close(inotifyFd_);
    inotifyFd_ = -1;
    return false;
  }
  handler_ = std::move(handler);
  known_ = scan();
  notifier_ = std::make_unique<QSocketNotifier>(inotifyFd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { directoryChanged(); });
  return true;
}

void VirtualPortBackend::stopWatching() {
  if (notifier_) {
    notifier_->setEnabled(false);
    // Stopping from inside the handler must not delete the notifier whose
    // signal is being delivered; it goes when the delivery is over.
    if (dispatching_) retired_.push_back(std::move(notifier_));
    notifier_.reset();
  }
  if (inotifyFd_ >= 0) ::close(inotifyFd_);
  inotifyFd_ = -1;
  watch_ = -1;
  handler_ = nullptr;
  known_.clear();
}

void VirtualPortBackend::directoryChanged() {
  retired_.clear();
  // Drain the whole burst first; the rescan below makes one batch of it.
  bool lostWatch = false;
  alignas(struct inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(inotifyFd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t off = 0; off < n;) {
      const auto* ev = reinterpret_cast<const struct inotify_event*>(buffer + off);
      if (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) lostWatch = true;
      off += static_cast<ssize_t>(sizeof(struct inotify_event) + ev->len);
    }
  }
  if (lostWatch) {
    // The directory itself went away or moved: watch the new one.
    if (watch_ >= 0) (void)::inotify_rm_watch(inotifyFd_, watch_);
    watch_ = -1;
    QString why;
    if (!addWatch(&why)) log("Virtual serial ports are no longer watched: %@", why);
  }
  std::vector<SerialDeviceEntry> now = scan();
  std::vector<SerialDeviceEntry> arrived, departed;
  auto contains = [](const std::vector<SerialDeviceEntry>& list, const SerialDeviceEntry& e) {
    return std::find(list.begin(), list.end(), e) != list.end();
  };
  for (const SerialDeviceEntry& e : now) {
    if (!contains(known_, e)) arrived.push_back(e);
  }
  for (const SerialDeviceEntry& e : known_) {
    if (!contains(now, e)) departed.push_back(e);
  }
  known_ = std::move(now);
  if ((arrived.empty() && departed.empty()) || !handler_) return;
  // The handler may stop or restart watching; keep it alive for the call.
  const ChangeHandler handler = handler_;
  dispatching_ = true;
  handler(arrived, departed);
  dispatching_ = false;
}

std::unique_ptr<DeviceRegistryBackend> makeVirtualPortBackend() { return std::make_unique<VirtualPortBackend>(); }

}  // namespace ostrel::platform
