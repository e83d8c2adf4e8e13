#pragma once
// Ostrel itself, started from the build as a user would start it, in the test's
// own session (its Xvfb, its XDG directories). Its diagnostic lines (standard
// error) and notices (standard output) are read with their times; its window is
// found and driven through xdotool.

#include "support/ChildProcess.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

namespace ostrel::test {

class OstrelProcess {
 public:
  OstrelProcess();

  // Environment changes before start() (for example DISPLAY removed).
  void setEnvironment(const QString& name, std::optional<QString> value) { process_.setEnvironment(name, value); }

  // Starts Ostrel through `script` (scripts/run-ostrel.sh, as `make run`
  // does: script BINDIR ARGS...) instead of directly.
  void setLauncher(const QString& script) { launcher_ = script; }

  bool start(QString* error, const QStringList& arguments = {});
  ChildProcess& process() { return process_; }
  MonotonicClock::time_point startedAt() const { return startedAt_; }

  // Diagnostic lines (standard error), each without the date, time and
  // "ostrel[pid] " that the log puts before the message.
  std::vector<StampedLine> logLines() const;
  std::size_t logLineCount() const { return process_.lineCount(ChildStream::Error); }
  // Waits for a log line equal to `line` (index `from` or later); returns its index.
  std::optional<std::size_t> waitForLog(const QByteArray& line, std::chrono::milliseconds timeout,
                                        std::size_t from = 0);
  // Waits for a log line that starts with `prefix`.
  std::optional<std::size_t> waitForLogStartingWith(const QByteArray& prefix, std::chrono::milliseconds timeout,
                                                    std::size_t from = 0);
  int countLog(const QByteArray& line) const;
  int countLogContaining(const QByteArray& text) const;
  QString logText() const;

  // The main window's X id, once it is mapped (found by process id).
  std::optional<QString> waitForWindow(std::chrono::milliseconds timeout = std::chrono::seconds(20));

  // The first window has been shown and the first discovery pass is over.
  bool waitUntilReady(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  std::optional<ChildExit> waitForExit(std::chrono::milliseconds timeout) { return process_.waitForExit(timeout); }
  ChildExit stop() { return process_.stop(); }

 private:
  ChildProcess process_;
  QString launcher_;
  MonotonicClock::time_point startedAt_{};
  std::optional<QString> window_;
};

// The message of one diagnostic line: what follows "yyyy-MM-dd HH:mm:ss.zzz prog[pid] ".
QByteArray logMessage(const QByteArray& line);

// Writes $XDG_CONFIG_HOME/VELDOR/Ostrel.conf with these integer keys, the way
// the preference store keeps them.
bool writePreferences(const QMap<QString, qint64>& values);
// English, and Control with D, U and P for the three shortcuts: what the
// desktop tests record and then press.
QMap<QString, qint64> englishControlDUP();
// The evdev codes of those keys, as a desktop's keyboard sends them.
namespace evdev {
inline constexpr int kCtrl = 29;
inline constexpr int kD = 32;
inline constexpr int kU = 22;
inline constexpr int kP = 25;
}  // namespace evdev
// scripts/run-ostrel.sh of the source tree.
QString runOstrelScript();
QString preferenceFilePath();

// Runs xdotool on the test's display; `output` receives its standard output.
bool xdotool(const QStringList& arguments, QByteArray* output = nullptr,
             std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace ostrel::test
