#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>
#include <QFileInfo>
#include <thread>

#include <unistd.h>

namespace ostrel::test {

QByteArray hexByte(int value) {
  return QByteArray::number(value & 0xFF, 16).rightJustified(2, '0').toUpper();
}

QByteArray commandFrame(int code, int parameter) {
  return "5FF5" + hexByte(code) + hexByte(parameter) + "000000000000A0FA";
}

QString virtualPortDirectory() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) return runtime + QStringLiteral("/ostrel/serial");
  return QStringLiteral("/tmp/ostrel-%1/serial").arg(::getuid());
}

SimulatedMonitor::SimulatedMonitor(int mcuVersion, QString name, QStringList extra)
    : mcuVersion_(mcuVersion), name_(std::move(name)), extra_(std::move(extra)) {}

bool SimulatedMonitor::start(QString* error, std::chrono::milliseconds timeout) {
  // --exit-on-eof: should the test die, its end of the console pipe closes and
  // the simulator goes with it instead of lingering.
  QStringList arguments{QStringLiteral("--mcu"), QString::number(mcuVersion_), QStringLiteral("--name"), name_,
                        QStringLiteral("--exit-on-eof")};
  arguments += extra_;
  if (!process_.start(buildProgram(QStringLiteral("ostrel-sim")), arguments, error)) return false;
  linkPath_ = virtualPortDirectory() + QLatin1Char('/') + name_;
  const auto deadline = MonotonicClock::now() + timeout;
  while (!QFileInfo(linkPath_).isSymLink()) {
    if (!process_.isRunning()) {
      if (error) *error = QStringLiteral("ostrel-sim ended early: %1").arg(diagnostics().join(QLatin1Char('\n')));
      return false;
    }
    if (MonotonicClock::now() >= deadline) {
      if (error) *error = QStringLiteral("ostrel-sim did not publish %1 in time").arg(linkPath_);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool SimulatedMonitor::command(const QByteArray& line) {
  return process_.writeInput(line + '\n');
}

std::vector<ReceivedFrame> SimulatedMonitor::frames() const {
  std::vector<ReceivedFrame> out;
  for (const StampedLine& line : process_.lines(ChildStream::Output)) out.push_back({line.text, line.at});
  return out;
}

std::optional<std::size_t> SimulatedMonitor::waitForFrame(const QByteArray& frame, std::chrono::milliseconds timeout,
                                                          std::size_t from) {
  return process_.waitForLine(
      ChildStream::Output, [&frame](const QByteArray& line) { return line == frame; }, timeout, from);
}

bool SimulatedMonitor::waitForDiagnostic(const QByteArray& text, std::chrono::milliseconds timeout, std::size_t from) {
  return process_
      .waitForLine(
          ChildStream::Error, [&text](const QByteArray& line) { return line.contains(text); }, timeout, from)
      .has_value();
}

QStringList SimulatedMonitor::diagnostics() const {
  QStringList out;
  for (const StampedLine& line : process_.lines(ChildStream::Error)) out << QString::fromUtf8(line.text);
  return out;
}

bool SimulatedMonitor::unplug(std::chrono::milliseconds timeout) {
  const std::size_t from = diagnosticCount();
  if (!command("unplug")) return false;
  return waitForDiagnostic("unplugged", timeout, from);
}

std::vector<ShortcutPress> controlDUPPresses() {
  return {{32, {commandFrame(3, 1)}},
          {22, {commandFrame(1, 6), commandFrame(10, 1)}},
          {25, {commandFrame(1, 5), commandFrame(10, 1)}}};
}

void expectShortcutFrames(SimulatedMonitor& monitor, const std::vector<ShortcutPress>& presses,
                          const std::function<void(int evdevKey)>& pressControlWith) {
  for (const ShortcutPress& press : presses) {
    std::size_t from = monitor.frameCount();
    pressControlWith(press.evdevKey);
    for (const QByteArray& frame : press.frames) {
      const auto at = monitor.waitForFrame(frame, std::chrono::seconds(30), from);
      ASSERT_TRUE(at) << "Control with evdev key " << press.evdevKey << ": no " << frame.toStdString();
      from = *at + 1;
    }
  }
}

}  // namespace ostrel::test
