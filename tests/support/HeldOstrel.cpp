#include "support/HeldOstrel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace ostrel::test {

HeldOstrel::HeldOstrel(const QString& name)
    : fifo_(qEnvironmentVariable("OSTREL_TEST_SCRATCH") + QStringLiteral("/%1.logging-rules").arg(name)) {}

HeldOstrel::~HeldOstrel() {
  if (writer_ >= 0) ::close(writer_);
  if (ostrel_.process().isRunning()) ostrel_.stop();
  QFile::remove(fifo_);
}

bool HeldOstrel::start(QString* error) {
  using namespace std::chrono_literals;
  QFile::remove(fifo_);
  if (::mkfifo(QFile::encodeName(fifo_).constData(), 0600) != 0) {
    *error = QStringLiteral("mkfifo %1: %2").arg(fifo_, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  ostrel_.setEnvironment(QStringLiteral("QT_LOGGING_CONF"), fifo_);
  if (!ostrel_.start(error)) return false;
  // A writer can open the FIFO only once Ostrel opened it for reading; Ostrel
  // then waits in its read until release() writes and closes.
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (std::chrono::steady_clock::now() < deadline && ostrel_.process().isRunning()) {
    writer_ = ::open(QFile::encodeName(fifo_).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer_ >= 0) return true;
    std::this_thread::sleep_for(5ms);
  }
  *error = QStringLiteral("Ostrel never read its logging rules: %1").arg(ostrel_.logText());
  return false;
}

void HeldOstrel::release() {
  if (writer_ < 0) return;
  // An end of file without a rule: Qt's defaults.
  ::close(writer_);
  writer_ = -1;
}

bool startOstrelctlWaitingFor(ChildProcess& ctl, const QStringList& arguments, qint64 ostrelPid, QString* error) {
  using namespace std::chrono_literals;
  if (!ctl.start(buildProgram(QStringLiteral("ostrelctl")), QStringList{QStringLiteral("-v")} + arguments, error))
    return false;
  const QByteArray waiting =
      QStringLiteral("ostrelctl: Ostrel (PID %1) is starting; waiting up to 5 s for it on the session bus")
          .arg(ostrelPid)
          .toUtf8();
  if (ctl.waitForLine(
          ChildStream::Error, [&](const QByteArray& line) { return line == waiting; }, 10s))
    return true;
  QString said;
  for (const StampedLine& line : ctl.lines(ChildStream::Error)) said += QString::fromUtf8(line.text) + '\n';
  *error = QStringLiteral("ostrelctl did not wait: %1").arg(said);
  return false;
}

}  // namespace ostrel::test
