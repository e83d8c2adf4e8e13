#include "support/OstrelProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <thread>

namespace ostrel::test {

OstrelProcess::OstrelProcess() = default;

bool OstrelProcess::start(QString* error, const QStringList& arguments) {
  startedAt_ = MonotonicClock::now();
  const QString ostrel = buildProgram(QStringLiteral("ostrel"));
  if (launcher_.isEmpty()) return process_.start(ostrel, arguments, error);
  return process_.start(launcher_, QStringList{QFileInfo(ostrel).absolutePath()} + arguments, error);
}

QString runOstrelScript() {
  QString source = qEnvironmentVariable("OSTREL_SOURCE_DIR");
  if (source.isEmpty()) source = QStringLiteral(OSTREL_SOURCE_TREE);
  return source + QStringLiteral("/scripts/run-ostrel.sh");
}

QByteArray logMessage(const QByteArray& line) {
  static const QRegularExpression stamp(
      QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} [^ \\[]+\\[\\d+\\] "));
  const QString text = QString::fromUtf8(line);
  const QRegularExpressionMatch m = stamp.match(text);
  return m.hasMatch() ? line.mid(m.capturedEnd()) : line;
}

std::vector<StampedLine> OstrelProcess::logLines() const {
  std::vector<StampedLine> out = process_.lines(ChildStream::Error);
  for (StampedLine& l : out) l.text = logMessage(l.text);
  return out;
}

int OstrelProcess::countLog(const QByteArray& line) const {
  int n = 0;
  for (const StampedLine& l : logLines()) n += l.text == line ? 1 : 0;
  return n;
}

std::optional<std::size_t> OstrelProcess::waitForLog(const QByteArray& line, std::chrono::milliseconds timeout,
                                                     std::size_t from) {
  return process_.waitForLine(
      ChildStream::Error, [&line](const QByteArray& l) { return logMessage(l) == line; }, timeout, from);
}

std::optional<std::size_t> OstrelProcess::waitForLogStartingWith(const QByteArray& prefix,
                                                                 std::chrono::milliseconds timeout, std::size_t from) {
  return process_.waitForLine(
      ChildStream::Error, [&prefix](const QByteArray& l) { return logMessage(l).startsWith(prefix); }, timeout, from);
}

int OstrelProcess::countLogContaining(const QByteArray& text) const {
  int n = 0;
  for (const StampedLine& line : logLines()) n += line.text.contains(text) ? 1 : 0;
  return n;
}

QString OstrelProcess::logText() const {
  QString out;
  for (const StampedLine& line : logLines()) out += QString::fromUtf8(line.text) + QLatin1Char('\n');
  return out;
}

std::optional<QString> OstrelProcess::waitForWindow(std::chrono::milliseconds timeout) {
  if (window_) return window_;
  const auto deadline = MonotonicClock::now() + timeout;
  while (MonotonicClock::now() < deadline && process_.isRunning()) {
    QByteArray out;
    if (xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                 QString::number(process_.pid())},
                &out)) {
      const QList<QByteArray> ids = out.trimmed().split('\n');
      if (!ids.isEmpty() && !ids.front().isEmpty()) {
        window_ = QString::fromLatin1(ids.front().trimmed());
        return window_;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return std::nullopt;
}

bool OstrelProcess::waitUntilReady(std::chrono::milliseconds timeout) {
  return waitForLog("updateMainViewContent ***************************************", timeout).has_value() &&
         waitForWindow(timeout).has_value();
}

QString preferenceFilePath() {
  QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
  return config + QStringLiteral("/VELDOR/Ostrel.conf");
}

QMap<QString, qint64> englishControlDUP() {
  return {{QStringLiteral("language"), 1},
          {QStringLiteral("refresh_hot_keycode"), 2},
          {QStringLiteral("refresh_hot_keycode_flags"), 0x40000},
          {QStringLiteral("threshold_hot_keycode"), 32},
          {QStringLiteral("threshold_hot_keycode_flags"), 0x40000},
          {QStringLiteral("threshold_down_hot_keycode"), 35},
          {QStringLiteral("threshold_down_hot_keycode_flags"), 0x40000}};
}

bool writePreferences(const QMap<QString, qint64>& values) {
  const QString path = preferenceFilePath();
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  QByteArray text = "[General]\n";
  for (auto it = values.cbegin(); it != values.cend(); ++it) {
    text += it.key().toUtf8() + '=' + QByteArray::number(it.value()) + '\n';
  }
  file.write(text);
  return file.commit();
}

bool xdotool(const QStringList& arguments, QByteArray* output, std::chrono::milliseconds timeout) {
  ChildProcess tool;
  QString error;
  if (!tool.start(QStringLiteral("/usr/bin/xdotool"), arguments, &error)) return false;
  tool.closeInput();
  const std::optional<ChildExit> exit = tool.waitForExit(timeout);
  if (!exit) return false;
  if (output) {
    tool.waitForEndOfStreams(std::chrono::seconds(5));
    output->clear();
    for (const StampedLine& line : tool.lines(ChildStream::Output)) *output += line.text + '\n';
  }
  return exit->exited && exit->status == 0;
}

}  // namespace ostrel::test
