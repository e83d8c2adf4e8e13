#include "SimHarness.h"

#include "platform/posix/VirtualPortDirectory.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ostrel::simtest {

QString simulatorBinary() {
  return qEnvironmentVariable("OSTREL_BIN_DIR") + QStringLiteral("/ostrel-sim");
}

QString linkPathFor(const QString& name) {
  return platform::virtualPortDirectoryPath() + QLatin1Char('/') + name;
}

QByteArray reportFrame(const char* prefix, int identifier, int value) {
  return QByteArray("5FF5") + prefix + "0A" + QByteArray::number(identifier, 16).rightJustified(2, '0').toUpper() +
         QByteArray::number(value, 16).rightJustified(2, '0').toUpper() + "00000000A0FA";
}

QByteArray frame(int code, int parameter) {
  return "5FF5" + QByteArray::number(code, 16).rightJustified(2, '0').toUpper() +
         QByteArray::number(parameter, 16).rightJustified(2, '0').toUpper() + "000000000000A0FA";
}

SimProcess::SimProcess(QStringList arguments, QString name)
    : arguments_(std::move(arguments)), linkPath_(linkPathFor(name)) {
  process_.setProgram(simulatorBinary());
  process_.setArguments(arguments_);
}

SimProcess::~SimProcess() {
  if (process_.state() != QProcess::NotRunning) {
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
}

bool SimProcess::start(QString* error) {
  process_.start();
  if (!process_.waitForStarted(10000)) {
    *error = QStringLiteral("cannot start %1: %2").arg(process_.program(), process_.errorString());
    return false;
  }
  // The banner comes after the link is in place; a link alone might be a
  // leftover from an earlier run.
  const bool ready = waitUntil(
      [&] {
        collect();
        return stderr_.contains(QStringLiteral(" ready on ")) || process_.state() == QProcess::NotRunning;
      },
      10000);
  if (!ready || process_.state() == QProcess::NotRunning || !QFileInfo(linkPath_).isSymLink()) {
    *error = QStringLiteral("no link at %1; diagnostics: %2").arg(linkPath_, diagnostics());
    return false;
  }
  return true;
}

bool SimProcess::runToExit(int timeoutMs) {
  process_.start();
  return process_.waitForStarted(10000) && waitForExit(timeoutMs);
}

void SimProcess::command(const QByteArray& line) {
  process_.write(line + '\n');
  process_.waitForBytesWritten(5000);
}

void SimProcess::collect() {
  process_.waitForReadyRead(0);
  stderr_ += QString::fromLocal8Bit(process_.readAllStandardError());
}

QByteArray SimProcess::nextOutputLine(int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!process_.canReadLine()) {
    const qint64 left = timeoutMs - clock.elapsed();
    if (left <= 0 || process_.state() == QProcess::NotRunning) return {};
    process_.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 50)));
    stderr_ += QString::fromLocal8Bit(process_.readAllStandardError());
  }
  QByteArray line = process_.readLine();
  if (line.endsWith('\n')) line.chop(1);
  return line;
}

bool SimProcess::waitForDiagnostic(const QString& text, int timeoutMs) {
  return waitUntil(
      [&] {
        collect();
        return stderr_.contains(text);
      },
      timeoutMs);
}

QString SimProcess::diagnostics() {
  collect();
  return stderr_;
}

bool SimProcess::waitForExit(int timeoutMs) {
  const bool done = process_.state() == QProcess::NotRunning || process_.waitForFinished(timeoutMs);
  stderr_ += QString::fromLocal8Bit(process_.readAllStandardError());
  return done;
}

TerminalClient::~TerminalClient() {
  close();
}

bool TerminalClient::open(const QString& path, QString* error) {
  close();
  fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    *error = QStringLiteral("open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  struct termios tio {};
  if (::tcgetattr(fd_, &tio) != 0) {
    *error = QStringLiteral("tcgetattr %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    close();
    return false;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  ::cfsetspeed(&tio, B115200);
  if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
    *error = QStringLiteral("tcsetattr %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    close();
    return false;
  }
  return true;
}

void TerminalClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TerminalClient::write(const QByteArray& bytes) {
  qsizetype done = 0;
  QElapsedTimer clock;
  clock.start();
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n > 0) {
      done += n;
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (clock.elapsed() > 5000) return false;
    struct pollfd p {
      fd_, POLLOUT, 0
    };
    ::poll(&p, 1, 50);
  }
  return true;
}

QByteArray TerminalClient::read(qsizetype count, int timeoutMs, std::vector<qsizetype>* chunks) {
  QByteArray out;
  QElapsedTimer clock;
  clock.start();
  while (out.size() < count) {
    const qint64 left = timeoutMs - clock.elapsed();
    if (left <= 0) break;
    struct pollfd p {
      fd_, POLLIN, 0
    };
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    if (!(p.revents & POLLIN)) break;  // hung up with nothing left to read
    char buffer[1024];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) {
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      break;
    }
    out.append(buffer, n);
    if (chunks) chunks->push_back(n);
  }
  return out;
}

QByteArray TerminalClient::drain(int timeoutMs) {
  return read(1 << 20, timeoutMs);
}

bool TerminalClient::waitForHangup(int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < timeoutMs) {
    struct pollfd p {
      fd_, POLLIN, 0
    };
    if (::poll(&p, 1, 50) <= 0) continue;
    if (p.revents & (POLLHUP | POLLERR)) return true;
    char buffer[256];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV))) return true;
  }
  return false;
}

}  // namespace ostrel::simtest
