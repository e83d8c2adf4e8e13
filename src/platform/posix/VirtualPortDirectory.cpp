#include "platform/posix/VirtualPortDirectory.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::platform {
namespace {

// One component at a time, so that a link planted at any level is caught rather
// than followed.
bool ensurePrivateDir(const QByteArray& path, bool mustBeOwn, QString* error) {
  struct stat st {};
  if (::lstat(path.constData(), &st) != 0) {
    if (errno != ENOENT) {
      if (error) *error = QStringLiteral("cannot inspect %1: %2").arg(QString::fromLocal8Bit(path), QString::fromLocal8Bit(std::strerror(errno)));
      return false;
    }
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
      if (error) *error = QStringLiteral("cannot create %1: %2").arg(QString::fromLocal8Bit(path), QString::fromLocal8Bit(std::strerror(errno)));
      return false;
    }
    if (::lstat(path.constData(), &st) != 0) {
      if (error) *error = QStringLiteral("cannot inspect %1: %2").arg(QString::fromLocal8Bit(path), QString::fromLocal8Bit(std::strerror(errno)));
      return false;
    }
  }
  if (S_ISLNK(st.st_mode)) {
    if (error) *error = QStringLiteral("%1 is a symbolic link; refusing to use it for virtual ports").arg(QString::fromLocal8Bit(path));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    if (error) *error = QStringLiteral("%1 is not a directory").arg(QString::fromLocal8Bit(path));
    return false;
  }
  if (mustBeOwn && st.st_uid != ::geteuid()) {
    if (error) *error = QStringLiteral("%1 belongs to another user (uid %2); refusing to use it").arg(QString::fromLocal8Bit(path)).arg(st.st_uid);
    return false;
  }
  if (mustBeOwn && (st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) {
    if (error) *error = QStringLiteral("cannot make %1 private: %2").arg(QString::fromLocal8Bit(path), QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  return true;
}

}  // namespace

QString virtualPortDirectoryPath() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) return QDir::cleanPath(QString::fromLocal8Bit(runtime) + QStringLiteral("/ostrel/serial"));
  return QStringLiteral("/tmp/ostrel-%1/serial").arg(::geteuid());
}

std::optional<QString> ensureVirtualPortDirectory(QString* error) {
  const QString serial = virtualPortDirectoryPath();
  const QString top = QDir::cleanPath(serial + QStringLiteral("/.."));
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) {
    // The runtime directory itself is the session's; it must exist already.
    struct stat st {};
    if (::stat(runtime.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      if (error) *error = QStringLiteral("XDG_RUNTIME_DIR %1 is not a directory").arg(QString::fromLocal8Bit(runtime));
      return std::nullopt;
    }
  }
  if (!ensurePrivateDir(QFile::encodeName(top), true, error)) return std::nullopt;
  if (!ensurePrivateDir(QFile::encodeName(serial), true, error)) return std::nullopt;
  return serial;
}

}  // namespace ostrel::platform
