#pragma once
// ostrelctl without Ostrel: finds the monitor with Ostrel's own discovery
// (UtilsPelSerialPortsValue, PelSerialPortHelper, the port manager), sends the
// command through the same encoder, waits for the monitor's answer where the
// command has one, and ends. No window, no X11: Qt Core only.
//
// Discovery is Ostrel's, with its care for other programs' lines: a device
// another process holds open is neither opened nor written to, and the
// remembered monitor adapter (the "monitorAdapter" preference) is asked first.
// Outcomes:
//  - no serial port at all, or none answered as a monitor: NoMonitor (naming
//    the ports that could not be opened, in case the monitor is among them);
//  - ports exist but not one could be opened (permissions, or another program
//    such as an Ostrel without a session bus holds them): NoAccess, naming
//    each port and why;
//  - a front light command for a monitor without one: Failed, nothing sent;
//  - a command the monitor's port failed to write (the line failed or
//    stalled): Failed, the frame dropped;
//  - `read`/`status` when the monitor reported nothing: Failed.
// The frames are the window's: a setting is one frame; contrast up/down first
// reads the contrast (the window knows it already), then takes the shortcut's
// step and reads it back; read/status run the window's read-back.
// Runs on the main thread of a QCoreApplication; run() spins its own event loop.

#include "control/ControlProtocol.h"
#include "ostrelctl/CtlRequest.h"
#include "ostrelctl/StatusReport.h"
#include "serial/PelSerialPortInterface.h"

#include <QList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace ostrel {
class UtilsPelSerialPortsValue;
}

namespace ostrel::ctl {

class HeadlessViewController;

class DirectSession {
 public:
  struct Timing {
    int answerWindowMs = 1000;  // after the probe, for monitors to answer it
    int reportWindowMs = 1000;  // after the last request, for its report
  };
  using PortsSource = std::function<QList<PelSerialPortRef>()>;

  // Ports from the process-wide port manager.
  DirectSession();
  DirectSession(Timing timing, PortsSource ports);
  ~DirectSession();
  DirectSession(const DirectSession&) = delete;
  DirectSession& operator=(const DirectSession&) = delete;

  CtlOutcome run(const CtlRequest& request);

 private:
  CtlOutcome discover(bool waitForEveryPort);
  CtlOutcome execute(const CtlRequest& request);
  CtlOutcome send(std::int32_t command, std::int32_t parameter);
  CtlOutcome frontLight(std::int32_t command, std::int32_t value);
  CtlOutcome contrastStep(bool upwards);
  CtlOutcome report(const CtlRequest& request);
  bool readBack(const std::vector<ControlSetting>& items);
  bool waitUntil(const std::function<bool()>& done, int timeoutMs);
  bool monitorReady() const;
  StatusValues statusValues() const;
  QString unopenedExplanation() const;  // one line per port, each starting "\n  "
  static QString probeReasonOf(const PelSerialPortRef& port);
  CtlOutcome notSent() const;

  Timing timing_;
  PortsSource ports_;
  std::unique_ptr<UtilsPelSerialPortsValue> utlsPorts_;
  std::shared_ptr<HeadlessViewController> view_;
  QList<PelSerialPortRef> unopened_;
  int openedCount_ = 0;
};

}  // namespace ostrel::ctl
