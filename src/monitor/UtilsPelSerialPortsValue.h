#pragma once
// The monitor connection: the command encoder, monitor discovery and the choice
// of the current port. The main window owns one (its utlsPorts); the state lives
// in MonitorState.
//
// Encoder (sendCommand): refuses, with a log line, when there is no current port
// or it is closed, and for a read-parameter identifier the monitor does not know;
// otherwise applies the command's parameter rule, writes one 24-character frame
// to currentPort and returns true. Safe to call from any thread: it reads
// currentPort through its lock and the port keeps each frame's bytes together.
//
// Discovery (startPin): empties caluPortsArr, installs a fresh
// PelSerialPortHelper as the delegate of every available port and opens them all
// at once; 330 ms later each port gets the MCU-version probe. Answers are decoded
// by the helper as they arrive. A probed port that has not been accepted 2 s after
// its probe is closed again, so that discovery never keeps another program's
// device; the next pass probes it anew. A new pass supersedes the one before.
//
// Pacing: runPacedSequence() spaces commands without blocking the main thread
// (see PacedSequenceRunner.h); discovery's probes go through the same queue, so a
// probe never lands on the monitor closer than 330 ms to a paced command.
//
// Everything but sendCommand() runs on the main thread; create the object there.

#include "monitor/PacedSequenceRunner.h"
#include "serial/PelSerialPortInterface.h"

#include <QList>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ostrel {

class ViewControllerInterface;

class UtilsPelSerialPortsValue {
 public:
  using PacedStep = ostrel::PacedStep;
  using AvailablePortsSource = std::function<QList<PelSerialPortRef>()>;

  static constexpr int kProbeDelayMs = 330;      // after opening, before the probe
  static constexpr int kCommandSpacingMs = 330;  // between paced commands
  static constexpr int kProbeReleaseMs = 2000;   // unanswered probe -> port closed
  static constexpr std::int32_t kReadParameterCommand = 10;
  static constexpr std::int32_t kMCUVersionIdentifier = 16;

  UtilsPelSerialPortsValue();
  ~UtilsPelSerialPortsValue();
  UtilsPelSerialPortsValue(const UtilsPelSerialPortsValue&) = delete;
  UtilsPelSerialPortsValue& operator=(const UtilsPelSerialPortsValue&) = delete;

  // The port manager's availablePorts() by default.
  void setAvailablePortsSource(AvailablePortsSource source);

  bool sendCommand(std::int32_t command, std::int32_t optional);

  void initSerialPorts();
  void startPinAvailablePorts(std::shared_ptr<QList<PelSerialPortRef>> list,
                              std::shared_ptr<ViewControllerInterface> mainViewController);
  void startPin();
  void currentDisplayPort(std::int32_t indexOfPortsArr);

  void runPacedSequence(std::vector<PacedStep> steps);

 private:
  void probe(std::uint64_t pass, const QList<PelSerialPortRef>& ports);
  void releaseUnanswered(std::uint64_t pass);

  AvailablePortsSource availablePorts_;
  PacedSequenceRunner paced_;
  std::uint64_t pass_ = 0;
  QList<PelSerialPortRef> probed_;
  QTimer releaseTimer_;
};

}  // namespace ostrel
