#pragma once
// Drives the real ostrel-sim binary: starts it with QProcess, talks to its
// console and reads what it echoes, and opens its published port as a raw
// terminal, the way Ostrel would.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>
#include <vector>

namespace ostrel::simtest {

// $OSTREL_BIN_DIR/ostrel-sim.
QString simulatorBinary();

// The link a simulator with this --name publishes.
QString linkPathFor(const QString& name);

// What the monitor's report of `value` for `identifier` looks like on the wire.
QByteArray reportFrame(const char* prefix, int identifier, int value);
// A 24-character command / notice / input event frame.
QByteArray frame(int code, int parameter);

class SimProcess {
 public:
  explicit SimProcess(QStringList arguments, QString name = QStringLiteral("ostrel-sim0"));
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts the simulator and waits until its port link exists.
  bool start(QString* error);
  // Starts it and waits for it to end by itself (bad options, refused name).
  bool runToExit(int timeoutMs);

  const QString& linkPath() const { return linkPath_; }
  QProcess& process() { return process_; }

  void command(const QByteArray& line);
  void closeInput() { process_.closeWriteChannel(); }

  // The next line the simulator prints on standard output (without the line
  // end), or an empty array after `timeoutMs`.
  QByteArray nextOutputLine(int timeoutMs);
  // Waits until standard error has shown `text`.
  bool waitForDiagnostic(const QString& text, int timeoutMs);
  QString diagnostics();

  bool waitForExit(int timeoutMs);

 private:
  void collect();
  QProcess process_;
  QStringList arguments_;
  QString linkPath_;
  QString stderr_;
};

// One end of a serial line opened like Ostrel opens a port: raw, non-blocking.
class TerminalClient {
 public:
  TerminalClient() = default;
  ~TerminalClient();
  TerminalClient(const TerminalClient&) = delete;
  TerminalClient& operator=(const TerminalClient&) = delete;

  bool open(const QString& path, QString* error);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool write(const QByteArray& bytes);
  // Reads until `count` bytes arrived or `timeoutMs` passed; `chunks` receives
  // the size of every read.
  QByteArray read(qsizetype count, int timeoutMs, std::vector<qsizetype>* chunks = nullptr);
  // Anything that arrives within `timeoutMs`.
  QByteArray drain(int timeoutMs);
  // True once the line reports a hang-up (POLLHUP, EIO, or end of file).
  bool waitForHangup(int timeoutMs);

 private:
  int fd_ = -1;
};

// Polls `condition` every few milliseconds until it holds or `timeoutMs` passes.
template <typename F>
bool waitUntil(F condition, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeoutMs) return false;
    QThread::msleep(10);
  }
  return true;
}

}  // namespace ostrel::simtest
