#pragma once
// In-process main window tests: the real ViewController with its window, the
// real port manager and serial ports, and a simulated monitor (ostrel-sim)
// published in the test's own virtual-port directory.
//
// The program keeps its monitor state in process-wide values; every test starts
// from the state of a fresh process (resetProcessState) and ends by letting the
// window go (releaseWindow), so tests do not see each other's monitor.

#include "mainwindow/ViewController.h"
#include "support/SimulatedMonitor.h"

#include <QByteArray>
#include <QList>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include <ostream>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
  *out << '"' << bytes.toStdString() << '"';
}

namespace ostrel::platform {
class InputInjector;
}

namespace ostrel::test {

// The probe discovery sends and the read-parameter requests of a read-back.
inline QByteArray probeFrame() {
  return commandFrame(10, 16);
}
inline QByteArray readRequest(int identifier) {
  return commandFrame(10, identifier);
}
// What the monitor sends to report `value` for read-parameter `identifier`.
QByteArray parameterReport(int identifier, int value);

void resetProcessState();

// A fresh simulator name, so that one test's departing port never meets the
// next test's arriving one under the same path.
QString uniqueMonitorName();

class LoadedWindow {
 public:
  explicit LoadedWindow(std::shared_ptr<platform::InputInjector> injector = nullptr);
  ~LoadedWindow();
  ViewController& operator*() const { return *controller_; }
  ViewController* operator->() const { return controller_.get(); }
  std::shared_ptr<ViewController> controller() const { return controller_; }

 private:
  std::shared_ptr<ViewController> controller_;
};

// Runs the event loop until the simulator holds `count` frames; the frames.
std::vector<ReceivedFrame> waitForFrames(SimulatedMonitor& monitor, std::size_t count,
                                         std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Runs the event loop until `frame` arrives at index `from` or later.
std::optional<std::size_t> waitForFrameWhileRunning(SimulatedMonitor& monitor, const QByteArray& frame,
                                                    std::size_t from = 0,
                                                    std::chrono::milliseconds timeout = std::chrono::seconds(20));
QList<QByteArray> frameTexts(const std::vector<ReceivedFrame>& frames, std::size_t from = 0);

// The port manager outlives the windows of earlier tests: waiting until it
// lists a new monitor's port before a window loads makes load's own discovery,
// not a hot-plug pass, find it. False when it is not listed within 10 s.
bool waitUntilListed(const SimulatedMonitor& monitor);

// Starts a monitor, loads a window and waits until the monitor's read-back is
// over and its answers are shown. False (with `error`) when any of it fails.
bool loadWithMonitor(SimulatedMonitor& monitor, std::unique_ptr<LoadedWindow>& window, QString* error,
                     std::shared_ptr<platform::InputInjector> injector = nullptr);

}  // namespace ostrel::test
