#pragma once
// A program the test starts and watches: Ostrel itself, the monitor simulator,
// a helper tool. Every line the child writes is stamped with the monotonic
// clock the moment it is read, by a reader thread of its own, so that tests and
// benchmarks can measure when something happened without depending on the test's
// event loop.
//
// The child inherits the test's environment (DISPLAY, XDG_CONFIG_HOME,
// XDG_RUNTIME_DIR, ...) with the given changes. Destruction ends a child that is
// still running (SIGTERM, then SIGKILL) and reaps it.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace ostrel::test {

using MonotonicClock = std::chrono::steady_clock;

struct StampedLine {
  QByteArray text;  // without the line end
  MonotonicClock::time_point at;
};

enum class ChildStream { Output, Error };

struct ChildExit {
  bool exited = false;  // true: `status` is the exit status; false: killed by `signal`
  int status = 0;
  int signal = 0;
};

class ChildProcess {
 public:
  ChildProcess();
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Variables to set (a value) or remove (std::nullopt) in the child's environment.
  void setEnvironment(const QString& name, std::optional<QString> value);

  bool start(const QString& program, const QStringList& arguments, QString* error);
  pid_t pid() const { return pid_; }
  bool isRunning();

  // Standard input; closeInput() gives the child an end of file.
  bool writeInput(const QByteArray& bytes);
  void closeInput();

  std::vector<StampedLine> lines(ChildStream stream) const;
  std::size_t lineCount(ChildStream stream) const;
  // Waits until a line from index `from` on satisfies `match`; returns its index.
  std::optional<std::size_t> waitForLine(ChildStream stream, const std::function<bool(const QByteArray&)>& match,
                                         std::chrono::milliseconds timeout, std::size_t from = 0);
  // Waits until the stream holds at least `count` lines.
  bool waitForLineCount(ChildStream stream, std::size_t count, std::chrono::milliseconds timeout);
  // Waits until the child (and whatever inherited its streams) closed both
  // output streams, so that every line is in.
  bool waitForEndOfStreams(std::chrono::milliseconds timeout);
  // Lines equal to `text` (the log writes some lines with an embedded "\n";
  // those arrive here as the text before it and an empty line after).
  int countLines(ChildStream stream, const QByteArray& text) const;

  // Sends a signal; waitForExit() reaps the child.
  bool signal(int signalNumber);
  std::optional<ChildExit> waitForExit(std::chrono::milliseconds timeout);
  // SIGTERM, a grace period, then SIGKILL.
  ChildExit stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

 private:
  struct Capture;
  static void readLines(std::shared_ptr<Capture> capture, int fd, ChildStream stream);
  void reapIfExited(bool block);

  std::map<QString, std::optional<QString>> environment_;
  pid_t pid_ = -1;
  int input_ = -1;
  std::optional<ChildExit> exit_;
  std::shared_ptr<Capture> capture_;
  std::vector<std::thread> readers_;
};

// $OSTREL_BIN_DIR/<name>, the build's own programs.
QString buildProgram(const QString& name);

// Starts a program (command name "sleep") that holds `path` open for reading
// and writing without any lock, as a terminal program does, and returns once
// it has the device open.
bool holdOpen(ChildProcess& child, const QString& path, QString* error);

}  // namespace ostrel::test
