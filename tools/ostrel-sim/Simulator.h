#pragma once
// The running simulator: one simulated adapter (a pseudo-terminal published in
// the virtual-port directory) with a monitor behind it, driven by the Qt event
// loop. Frames from the line go to the monitor model and are echoed on
// standard output; its answers and the console's input events go back out
// through the outbox; signals and `quit` end it with the port link removed.

#include "ostrel-sim/FrameAssembler.h"
#include "ostrel-sim/MonitorModel.h"
#include "ostrel-sim/Outbox.h"
#include "ostrel-sim/PortLink.h"
#include "ostrel-sim/PortOpenWatch.h"
#include "ostrel-sim/PseudoTerminal.h"
#include "ostrel-sim/SignalPipe.h"
#include "ostrel-sim/SimOptions.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <optional>
#include <random>

namespace ostrel::sim {

struct ConsoleCommand;

class Simulator : public QObject {
 public:
  explicit Simulator(SimOptions options, QObject* parent = nullptr);
  ~Simulator() override;

  // Creates the port and starts listening; on failure nothing is left behind.
  bool start(QString* error);

 private:
  bool plugIn(QString* error);
  void unplug();
  bool pluggedIn() const { return pty_.has_value(); }

  void onMasterReadable();
  // Brings the count of programs that have the port open up to date.
  void updateUsers();
  // Whether anybody but the simulator has the port open (true when that
  // cannot be known).
  bool portInUse();
  void onMasterWritable();
  void onStdinReadable();
  void onSignal();
  void handleFrame(const QByteArray& frame);
  void handleLine(const QByteArray& line);
  void runCommand(const ConsoleCommand& command);
  void send(const QByteArray& message, qint64 notBeforeMs, bool split);
  void pump();
  void finish(int exitCode);
  QSocketNotifier* watch(int fd, QSocketNotifier::Type type, void (Simulator::*handler)());
  static void retire(QSocketNotifier*& notifier);
  // The clock counts whole milliseconds, so a moment read from it may lie up
  // to a millisecond before the real one. A wait is checked against now() but
  // counted from startOfWait(), the millisecond after, so that it is never
  // cut short: a reply delay of 400 ms holds the reply 400 ms or more.
  qint64 now() const { return clock_.elapsed(); }
  qint64 startOfWait() const { return clock_.elapsed() + 1; }

  SimOptions options_;
  MonitorModel model_;
  FrameAssembler assembler_;
  Outbox outbox_;
  std::mt19937 random_;
  QString directory_;

  std::unique_ptr<SignalPipe> signals_;
  std::optional<PseudoTerminal> pty_;
  std::optional<PortLink> link_;
  std::optional<PortOpenWatch> openWatch_;
  int users_ = 0;
  // Children of this object. A notifier may be retired from inside its own
  // signal, so it is disabled at once and deleted later, never on the spot.
  QSocketNotifier* masterRead_ = nullptr;
  QSocketNotifier* masterWrite_ = nullptr;
  QSocketNotifier* openWatchRead_ = nullptr;
  QSocketNotifier* stdinRead_ = nullptr;
  QSocketNotifier* signalRead_ = nullptr;
  QTimer pumpTimer_;
  QElapsedTimer clock_;
  qint64 lastWriteMs_ = 0;

  QByteArray stdinBuffer_;
  bool skippingLongLine_ = false;
};

}  // namespace ostrel::sim
