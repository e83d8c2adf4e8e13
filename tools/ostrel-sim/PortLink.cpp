#include "ostrel-sim/PortLink.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <utility>

namespace ostrel::sim {
namespace {

QString errnoText() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

std::optional<QByteArray> readLink(const QByteArray& path) {
  QByteArray buffer(4096, '\0');
  const ssize_t n = ::readlink(path.constData(), buffer.data(), static_cast<std::size_t>(buffer.size()));
  if (n < 0 || n >= buffer.size()) return std::nullopt;
  buffer.truncate(static_cast<qsizetype>(n));
  return buffer;
}

}  // namespace

std::optional<PortLink> PortLink::publish(const QString& directory, const QString& name, const QString& target,
                                          QString* error, QString* note) {
  const QString path = directory + QLatin1Char('/') + name;
  const QByteArray encodedPath = QFile::encodeName(path);
  const QByteArray encodedTarget = QFile::encodeName(target);

  struct stat entry {};
  if (::lstat(encodedPath.constData(), &entry) == 0) {
    if (!S_ISLNK(entry.st_mode)) {
      if (error) *error = QStringLiteral("%1 exists and is not a symbolic link; refusing to replace it").arg(path);
      return std::nullopt;
    }
    const QString old = QFile::decodeName(readLink(encodedPath).value_or(QByteArray("?")));
    struct stat pointee {};
    if (::stat(encodedPath.constData(), &pointee) == 0 && S_ISCHR(pointee.st_mode)) {
      if (error) {
        *error = QStringLiteral(
                     "%1 already points at the terminal %2: another simulator may be using that name. "
                     "Choose another one with --name, or remove the link if it is stale")
                     .arg(path, old);
      }
      return std::nullopt;
    }
    if (::unlink(encodedPath.constData()) != 0 && errno != ENOENT) {
      if (error) *error = QStringLiteral("cannot remove the stale link %1: %2").arg(path, errnoText());
      return std::nullopt;
    }
    if (note) *note = QStringLiteral("replaced the stale link %1 -> %2").arg(path, old);
  } else if (errno != ENOENT) {
    if (error) *error = QStringLiteral("cannot inspect %1: %2").arg(path, errnoText());
    return std::nullopt;
  }

  if (::symlink(encodedTarget.constData(), encodedPath.constData()) != 0) {
    if (error) *error = QStringLiteral("cannot create the link %1 -> %2: %3").arg(path, target, errnoText());
    return std::nullopt;
  }
  return PortLink(path, target);
}

PortLink::PortLink(PortLink&& other) noexcept
    : path_(std::exchange(other.path_, QString())), target_(std::exchange(other.target_, QString())) {}

PortLink& PortLink::operator=(PortLink&& other) noexcept {
  if (this != &other) {
    remove();
    path_ = std::exchange(other.path_, QString());
    target_ = std::exchange(other.target_, QString());
  }
  return *this;
}

PortLink::~PortLink() {
  remove();
}

void PortLink::remove() {
  if (path_.isEmpty()) return;
  const QByteArray encodedPath = QFile::encodeName(path_);
  if (readLink(encodedPath) == QFile::encodeName(target_)) ::unlink(encodedPath.constData());
  path_.clear();
  target_.clear();
}

}  // namespace ostrel::sim
