#include "platform/portal/RestoreTokenStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace ostrel::platform::portal {
namespace {

constexpr qint64 kLongestToken = 4096;

QString systemError(const char* what, const QString& path) {
  return QStringLiteral("%1 %2: %3").arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

RestoreTokenStore::RestoreTokenStore() {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (state.isEmpty() || !QDir::isAbsolutePath(state)) state = QDir::homePath() + QStringLiteral("/.local/state");
  path_ = state + QStringLiteral("/ostrel/remote-desktop-token");
}

QString RestoreTokenStore::load() const {
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.read(kLongestToken)).trimmed();
}

bool RestoreTokenStore::save(const QString& token, QString* whyNot) const {
  const QString dir = QFileInfo(path_).absolutePath();
  const QByteArray dirName = QFile::encodeName(dir);
  // ~/.local/state itself is made the usual way; Ostrel's own folder is private.
  QDir().mkpath(QFileInfo(dir).absolutePath());
  if (::mkdir(dirName.constData(), 0700) != 0 && errno != EEXIST) {
    if (whyNot) *whyNot = systemError("cannot create", dir);
    return false;
  }
  // Written beside the file with its final mode, then renamed over it, so the
  // token is never readable by others and never half written.
  const QByteArray temporary = QFile::encodeName(path_ + QStringLiteral(".new"));
  const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    if (whyNot) *whyNot = systemError("cannot write", QFile::decodeName(temporary));
    return false;
  }
  const QByteArray bytes = token.toUtf8() + '\n';
  qsizetype written = 0;
  bool ok = ::fchmod(fd, 0600) == 0;
  while (ok && written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += n;
  }
  ok = ok && ::fsync(fd) == 0;
  if (!ok && whyNot) *whyNot = systemError("cannot write", QFile::decodeName(temporary));
  ::close(fd);
  if (ok && ::rename(temporary.constData(), QFile::encodeName(path_).constData()) != 0) {
    if (whyNot) *whyNot = systemError("cannot replace", path_);
    ok = false;
  }
  if (!ok) ::unlink(temporary.constData());
  return ok;
}

}  // namespace ostrel::platform::portal
