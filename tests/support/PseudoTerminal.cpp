#include "support/PseudoTerminal.h"

#include "platform/posix/VirtualPortDirectory.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace ostrel::test {
namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
  char name[PATH_MAX] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  slavePath_ = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal() {
  unpublish();
  closeMaster();
  closeSlave();
}

QString PseudoTerminal::publish(const QString& name) {
  unpublish();
  QString error;
  const std::optional<QString> dir = platform::ensureVirtualPortDirectory(&error);
  if (!dir || slavePath_.isEmpty()) return {};
  const QString link = *dir + QLatin1Char('/') + name;
  QFile::remove(link);
  if (::symlink(QFile::encodeName(slavePath_).constData(), QFile::encodeName(link).constData()) != 0) return {};
  linkPath_ = link;
  return link;
}

void PseudoTerminal::unpublish() {
  if (!linkPath_.isEmpty()) ::unlink(QFile::encodeName(linkPath_).constData());
  linkPath_.clear();
}

bool PseudoTerminal::write(const QByteArray& bytes, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  qsizetype done = 0;
  while (done < bytes.size() && master_ >= 0) {
    const ssize_t n = ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n > 0) {
      done += n;
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    struct pollfd p = {master_, POLLOUT, 0};
    if (::poll(&p, 1, msLeft(deadline)) == 0) return false;
  }
  return done == bytes.size();
}

QByteArray PseudoTerminal::read(qsizetype count, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  QByteArray out;
  char buffer[65536];
  while (out.size() < count && master_ >= 0) {
    const size_t want = std::min<size_t>(sizeof buffer, static_cast<size_t>(count - out.size()));
    const ssize_t n = ::read(master_, buffer, want);
    if (n > 0) {
      out.append(buffer, n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
    struct pollfd p = {master_, POLLIN, 0};
    const int left = msLeft(deadline);
    if (left == 0 || ::poll(&p, 1, left) == 0) break;
  }
  return out;
}

QByteArray PseudoTerminal::readAvailable(int quietMs) {
  QByteArray out;
  char buffer[65536];
  while (master_ >= 0) {
    struct pollfd p = {master_, POLLIN, 0};
    if (::poll(&p, 1, quietMs) <= 0) break;
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, n);
  }
  return out;
}

bool PseudoTerminal::setOutputStopped(bool stopped) {
  return slave_ >= 0 && ::tcflow(slave_, stopped ? TCOOFF : TCOON) == 0;
}

void PseudoTerminal::closeMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void PseudoTerminal::closeSlave() {
  if (slave_ >= 0) ::close(slave_);
  slave_ = -1;
}

int openDescriptorCount() { return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size()); }

int threadsNamed(const QString& name) {
  int count = 0;
  const QDir tasks(QStringLiteral("/proc/self/task"));
  for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
    if (comm.open(QIODevice::ReadOnly) && QString::fromLocal8Bit(comm.readAll()).trimmed() == name) ++count;
  }
  return count;
}

}  // namespace ostrel::test
