#include "BenchPseudoTerminal.h"

#include "platform/posix/VirtualPortDirectory.h"

#include <QFile>
#include <climits>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace ostrel::bench {

BenchPseudoTerminal::BenchPseudoTerminal(const QString& name) {
  char path[PATH_MAX] = {};
  if (::openpty(&master_, &slave_, path, nullptr, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  QString error;
  const std::optional<QString> dir = platform::ensureVirtualPortDirectory(&error);
  if (!dir) return;
  const QString link = *dir + QLatin1Char('/') + name;
  QFile::remove(link);
  if (::symlink(path, QFile::encodeName(link).constData()) == 0) link_ = link;
}

BenchPseudoTerminal::~BenchPseudoTerminal() {
  if (!link_.isEmpty()) ::unlink(QFile::encodeName(link_).constData());
  closeMaster();
  if (slave_ >= 0) ::close(slave_);
}

bool BenchPseudoTerminal::setOutputStopped(bool stopped) {
  return slave_ >= 0 && ::tcflow(slave_, stopped ? TCOOFF : TCOON) == 0;
}

void BenchPseudoTerminal::closeMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace ostrel::bench
