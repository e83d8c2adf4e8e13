#pragma once
// The bundled monitor simulator (ostrel-sim) as a test's monitor: started as a
// process, it publishes its pseudo-terminal in the virtual-port directory, where
// Ostrel's port manager finds it. Every frame it receives arrives here with the
// time it was read; console commands make it report settings or send input
// events.

#include "support/ChildProcess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <functional>
#include <vector>

namespace ostrel::test {

struct ReceivedFrame {
  QByteArray text;  // the 24 characters as received
  MonotonicClock::time_point at;
};

class SimulatedMonitor {
 public:
  // mcuVersion: 16, 32 or 48; extra: further ostrel-sim options.
  explicit SimulatedMonitor(int mcuVersion = 48, QString name = QStringLiteral("ostrel-sim0"), QStringList extra = {});

  // Starts the simulator and waits until its port link exists.
  bool start(QString* error, std::chrono::milliseconds timeout = std::chrono::seconds(20));
  QString linkPath() const { return linkPath_; }
  ChildProcess& process() { return process_; }

  // One console line (no line end needed), e.g. "key pagedown", "set contrast 5".
  bool command(const QByteArray& line);

  std::vector<ReceivedFrame> frames() const;
  std::size_t frameCount() const { return process_.lineCount(ChildStream::Output); }
  // Waits for a frame equal to `frame` at index `from` or later; returns its index.
  std::optional<std::size_t> waitForFrame(const QByteArray& frame, std::chrono::milliseconds timeout,
                                          std::size_t from = 0);
  bool waitForFrameCount(std::size_t count, std::chrono::milliseconds timeout) {
    return process_.waitForLineCount(ChildStream::Output, count, timeout);
  }
  // Waits until the simulator's diagnostics show a line containing `text`.
  bool waitForDiagnostic(const QByteArray& text, std::chrono::milliseconds timeout, std::size_t from = 0);
  std::size_t diagnosticCount() const { return process_.lineCount(ChildStream::Error); }
  QStringList diagnostics() const;

  // Unplugs the adapter (the link goes, the line hangs up) and plugs it back.
  bool unplug(std::chrono::milliseconds timeout = std::chrono::seconds(10));

  ChildExit stop() { return process_.stop(); }

 private:
  int mcuVersion_;
  QString name_;
  QStringList extra_;
  QString linkPath_;
  ChildProcess process_;
};

// The 24-character command frame Ostrel writes: 5FF5 CC PP 000000000000 A0FA.
QByteArray commandFrame(int code, int parameter);

// One shortcut pressed on a desktop, and the frames it must bring, in order.
struct ShortcutPress {
  int evdevKey;  // pressed with Control
  QList<QByteArray> frames;
};
// Control with D (a fast refresh), U and P (contrast up to 6 and down to 5,
// each read back) on a simulator that starts at contrast 5.
std::vector<ShortcutPress> controlDUPPresses();
// Presses each with `pressControlWith` and expects its frames at `monitor`.
void expectShortcutFrames(SimulatedMonitor& monitor, const std::vector<ShortcutPress>& presses,
                          const std::function<void(int evdevKey)>& pressControlWith);

// Two upper-case hexadecimal digits of the low byte of `value`.
QByteArray hexByte(int value);

// Ostrel's virtual-port directory for this test ($XDG_RUNTIME_DIR/ostrel/serial).
QString virtualPortDirectory();

}  // namespace ostrel::test
