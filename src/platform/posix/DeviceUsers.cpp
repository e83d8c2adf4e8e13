#include "platform/posix/DeviceUsers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace ostrel::platform {
namespace {

constexpr unsigned kPtySlaveFirstMajor = 136;  // UNIX98_PTY_SLAVE_MAJOR, eight majors
constexpr unsigned kPtySlaveMajorCount = 8;

struct Target {
  dev_t device;
  dev_t filesystem;  // the devpts instance, for a pseudo-terminal slave
  QString path;
  long ptyIndex;  // -1 unless a pseudo-terminal slave
};

// Every container (and every mount of devpts with newinstance) numbers its
// pseudo-terminals from 0 on: the same device number there is another
// terminal, told apart by the instance it belongs to. Other devices are one
// whatever /dev they are reached through.
bool sameDevice(const Target& target, const struct stat& st) {
  return target.device == st.st_rdev && (target.ptyIndex < 0 || target.filesystem == st.st_dev);
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

long ptyIndexOf(dev_t device) {
  const unsigned major = ::major(device);
  if (major < kPtySlaveFirstMajor || major >= kPtySlaveFirstMajor + kPtySlaveMajorCount) return -1;
  return static_cast<long>(((major - kPtySlaveFirstMajor) << 20) | ::minor(device));
}

// A decimal process id, or 0 for any other name.
int pidOf(const char* name) {
  if (!name || !*name) return 0;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(name, &end, 10);
  if (errno || *end || value <= 0 || value > 0x3FFFFFFF) return 0;
  return static_cast<int>(value);
}

QString readLinkAt(int dir, const char* name) {
  char buffer[512];
  const ssize_t n = ::readlinkat(dir, name, buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return QString::fromLocal8Bit(buffer, static_cast<qsizetype>(n));
}

// The "tty-index" a pseudo-terminal master's fdinfo names, or -1.
long masterIndex(int pid, const char* fd) {
  QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(QString::fromLatin1(fd)));
  if (!info.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : info.readAll().split('\n')) {
    if (!line.startsWith("tty-index:")) continue;
    bool ok = false;
    const long index = line.mid(10).trimmed().toLong(&ok);
    return ok ? index : -1;
  }
  return -1;
}

QString commandOf(int pid) {
  QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
  if (!comm.open(QIODevice::ReadOnly)) return QStringLiteral("?");
  const QString name = QString::fromLocal8Bit(comm.readAll()).trimmed();
  return name.isEmpty() ? QStringLiteral("?") : name;
}

}  // namespace

std::map<QString, std::vector<DeviceUser>> deviceUsers(const QStringList& paths) {
  std::map<QString, std::vector<DeviceUser>> users;
  std::vector<Target> targets;
  for (const QString& path : paths) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;
    targets.push_back({st.st_rdev, st.st_dev, path, ptyIndexOf(st.st_rdev)});
  }
  if (targets.empty()) return users;

  const int self = static_cast<int>(::getpid());
  DirPtr proc(::opendir("/proc"));
  if (!proc) return users;
  while (const dirent* process = ::readdir(proc.get())) {
    const int pid = pidOf(process->d_name);
    if (pid == 0 || pid == self) continue;
    const QByteArray fdPath = QStringLiteral("/proc/%1/fd").arg(pid).toLatin1();
    DirPtr fds(::opendir(fdPath.constData()));
    if (!fds) continue;  // gone, or not ours to look at
    const int fdDir = ::dirfd(fds.get());
    std::vector<const Target*> held;
    std::vector<long> masters;
    while (const dirent* fd = ::readdir(fds.get())) {
      if (fd->d_name[0] == '.') continue;
      // Sockets, pipes and anonymous inodes have no path: skipping them saves a stat each.
      const QString link = readLinkAt(fdDir, fd->d_name);
      if (!link.startsWith(QLatin1Char('/'))) continue;
      if (link == QLatin1String("/dev/ptmx") || link == QLatin1String("/dev/pts/ptmx")) {
        masters.push_back(masterIndex(pid, fd->d_name));
        continue;
      }
      struct stat st {};
      if (::fstatat(fdDir, fd->d_name, &st, 0) != 0 || !S_ISCHR(st.st_mode)) continue;
      for (const Target& target : targets) {
        if (sameDevice(target, st) && std::find(held.begin(), held.end(), &target) == held.end()) {
          held.push_back(&target);
        }
      }
    }
    for (const Target* target : held) {
      const bool farEnd =
          target->ptyIndex >= 0 && std::find(masters.begin(), masters.end(), target->ptyIndex) != masters.end();
      if (!farEnd) users[target->path].push_back({pid, commandOf(pid)});
    }
  }
  for (auto& [path, list] : users) {
    std::sort(list.begin(), list.end(), [](const DeviceUser& a, const DeviceUser& b) { return a.pid < b.pid; });
  }
  return users;
}

}  // namespace ostrel::platform
