#pragma once
// Shared pieces of the monitor tests: a clean MonitorState per test and waiting
// on the event loop.

#include "FakeSerialPort.h"
#include "MonitorStateReset.h"
#include "RecordingViewController.h"

#include <QString>
#include <functional>
#include <memory>
#include <ostream>

// Readable failure messages for texts and lists of texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace ostrel::test {

// Puts every process-wide monitor variable back to its start value, on entry
// and on exit, so tests cannot see each other's monitors.
class CleanMonitorState {
 public:
  CleanMonitorState();
  ~CleanMonitorState();
  CleanMonitorState(const CleanMonitorState&) = delete;
  CleanMonitorState& operator=(const CleanMonitorState&) = delete;
};

// Runs the event loop until done() holds or timeoutMs passed; returns done().
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Runs the event loop for ms milliseconds.
void spinFor(int ms);

}  // namespace ostrel::test
