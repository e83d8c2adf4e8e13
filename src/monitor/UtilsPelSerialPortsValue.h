#pragma once
// The monitor connection: the command encoder, monitor discovery and the choice
// of the current port. The main window owns one (its utlsPorts); the state lives
// in MonitorState.
//
// Encoder (sendCommand): refuses, with a log line, when there is no current port
// or it is closed, and for a read-parameter identifier the monitor does not know;
// otherwise applies the command's parameter rule (MonitorProtocol.h), writes one
// 24-character frame to currentPort and returns whether the port took it: false
// also when the port refused or failed the write (nothing more of the frame is
// sent then). Safe to call from any thread: it reads currentPort through its
// lock and the port keeps each frame's bytes together.
//
// Discovery (startPin): a pass installs a fresh PelSerialPortHelper as the
// delegate of every port it opens (and of the ports it holds open already),
// opens them at once and, 330 ms after the last of them is open, sends each the
// MCU-version probe. Answers are decoded by the helper as they arrive. The main
// thread is never held for long: which devices other programs hold is looked up
// off it (DeviceUsersLookup.h), and the ports are then opened in the manager's
// order, one per turn of the event loop (portsOpening() meanwhile). Around that:
//  - Nothing is written into another program's line: a port whose device
//    another process holds open (platform/posix/DeviceUsers.h) is not opened in
//    this pass ("in use by PID NAME"), and is looked at again at the next pass.
//  - A port skipped as in use is watched for closes of its device
//    (platform/DeviceCloseWatch.h). kHeldCloseSettleMs after the last close
//    (a program may close and reopen) its users are looked up again: still
//    held, it stays watched, and only a changed reason is reported; let go, it
//    is probed at once in the current pass, unless an accepted monitor is open
//    (then it is "left alone: a monitor is known" and stays a newcomer for the
//    next pass) or the pass still waits for a known monitor's answer (then it
//    waits with the other ports). Where the close cannot be watched, the held
//    ports are looked up every kHeldRecheckMs instead. A port stops being
//    watched before discovery opens it (its own close would count otherwise)
//    and when it is no longer listed.
//  - A monitor is known when a listed port is accepted already, or carries the
//    remembered adapter identity (setAdapterMemory). Then the known ports and
//    the newcomers (ports announced by noteArrivals() since the last pass, and
//    ports skipped earlier as in use) are probed first; the other ports are
//    probed only if no known port answers within kKnownMonitorAnswerMs of its
//    probe, and are otherwise "left alone: a monitor is known". Without a known
//    monitor every port is probed at once.
//  - The accepted monitors stay in caluPortsArr from pass to pass while their
//    ports are open: a re-probe the monitor misses changes nothing, and its
//    answer does not list it twice. An accepted monitor's adapter identity is
//    remembered when it is the monitor in use.
//  - A probed port that is neither listed nor current 2 s after its probe is
//    closed again, so that discovery never keeps another program's device; the
//    next pass probes it anew. A new pass supersedes the one before.
//  - portProbeReports (MonitorState.h) says for each port what this pass did
//    with it, and each decision is logged.
//
// Pacing: runPacedSequence() spaces commands without blocking the main thread
// (see PacedSequenceRunner.h); discovery's probes go through the same queue, so a
// probe never lands on the monitor closer than 330 ms to a paced command. Steps
// asked for while a pass is opening its ports queue behind its probe.
//
// Everything but sendCommand() runs on the main thread; create the object there.

#include "monitor/DeviceUsersLookup.h"
#include "monitor/PacedSequenceRunner.h"
#include "platform/DeviceCloseWatch.h"
#include "serial/PelSerialPortInterface.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace ostrel {

class ViewControllerInterface;
class PelSerialPortHelper;

class UtilsPelSerialPortsValue {
 public:
  using PacedStep = ostrel::PacedStep;
  using AvailablePortsSource = std::function<QList<PelSerialPortRef>()>;
  // Where the monitor's adapter identity is kept between runs: recall() gives
  // the remembered one (empty for none), remember() stores a new one.
  struct AdapterMemory {
    std::function<QString()> recall;
    std::function<void(const QString&)> remember;
  };

  static constexpr int kProbeDelayMs = 330;          // after opening, before the probe
  static constexpr int kCommandSpacingMs = 330;      // between paced commands
  static constexpr int kProbeReleaseMs = 2000;       // unanswered probe -> port closed
  static constexpr int kKnownMonitorAnswerMs = 500;  // after its probe, before the other ports are probed
  static constexpr int kHeldCloseSettleMs = 200;     // after a held port's last close, before its users are looked up
  static constexpr int kHeldRecheckMs = 15000;       // held ports whose closes cannot be watched
  static constexpr std::int32_t kReadParameterCommand = 10;
  static constexpr std::int32_t kMCUVersionIdentifier = 16;

  UtilsPelSerialPortsValue();
  ~UtilsPelSerialPortsValue();
  UtilsPelSerialPortsValue(const UtilsPelSerialPortsValue&) = delete;
  UtilsPelSerialPortsValue& operator=(const UtilsPelSerialPortsValue&) = delete;

  // The port manager's availablePorts() by default.
  void setAvailablePortsSource(AvailablePortsSource source);
  // No memory by default.
  void setAdapterMemory(AdapterMemory memory);
  // How long the other ports wait for a known monitor's answer after its probe
  // (kKnownMonitorAnswerMs by default).
  void setKnownMonitorAnswerMs(int ms) { knownMonitorAnswerMs_ = ms; }
  // Where closes of held ports are heard (inotify by default). Ports watched
  // already are dropped from the old watch and watched through the new one.
  void setCloseWatch(std::unique_ptr<platform::DeviceCloseWatch> watch);
  // How often held ports that cannot be watched are looked up (kHeldRecheckMs by default).
  void setHeldRecheckMs(int ms);
  // The paths of the ports skipped as in use that are waited for, and of
  // those among them looked up by the timer.
  QStringList heldPorts() const;
  QStringList polledHeldPorts() const;

  bool sendCommand(std::int32_t command, std::int32_t optional);
  // Commands sent from the main thread that a port refused or failed to write,
  // or that found the current port closed under them.
  std::uint64_t failedMainThreadSends() const { return failedMainThreadSends_.load(); }

  void initSerialPorts();
  void startPinAvailablePorts(std::shared_ptr<QList<PelSerialPortRef>> list,
                              std::shared_ptr<ViewControllerInterface> mainViewController);
  void startPin();
  void currentDisplayPort(std::int32_t indexOfPortsArr);

  // Ports the port manager announced as newly connected: the next pass probes
  // them whatever else it knows.
  void noteArrivals(const QList<PelSerialPortRef>& ports);
  // True while a pass waits for a known monitor before it probes the rest.
  bool otherPortsPending() const { return !otherPorts_.isEmpty(); }
  // True while a step of the pass is still opening its ports.
  bool portsOpening() const { return opening_ != nullptr; }

  void runPacedSequence(std::vector<PacedStep> steps);

 private:
  struct Opening;
  void probePorts(const QList<PelSerialPortRef>& ports, bool firstOfPass);
  void openNext(const std::shared_ptr<Opening>& opening);
  bool openOne(Opening& opening, const PelSerialPortRef& port);
  void portsOpened(const Opening& opening);
  void releaseHeldSteps();
  void probe(std::uint64_t pass, const QList<PelSerialPortRef>& ports, bool knownFirst);
  void probeOtherPorts(std::uint64_t pass);
  void monitorAccepted(const PelSerialPortRef& port);
  void releaseUnanswered();
  void report(const PelSerialPortRef& port, const QString& reason);
  void holdSkipped(const PelSerialPortRef& port, const QString& reason);
  void watchHeld(const QString& path);
  void letGo(const QString& path);
  void heldClosed(const QString& path);
  void recheckHeld(const QString& path);
  void heldLookedUp(const QString& path, const DeviceUsersLookup::Users& users);
  void probeFreed();
  void recheckPolled();
  void updatePolling();

  AvailablePortsSource availablePorts_;
  AdapterMemory adapterMemory_;
  PacedSequenceRunner paced_;
  std::atomic<std::uint64_t> failedMainThreadSends_{0};
  std::uint64_t pass_ = 0;
  int knownMonitorAnswerMs_ = kKnownMonitorAnswerMs;
  std::shared_ptr<PelSerialPortHelper> helper_;
  QList<PelSerialPortRef> probed_;      // probed, waiting for the release
  QList<PelSerialPortRef> otherPorts_;  // waiting for the known monitor's answer
  QSet<QString> knownPaths_;            // this pass's known monitor ports
  QSet<QString> answered_;              // paths that answered in this pass
  QSet<QString> newcomers_;             // announced arrivals, ports skipped as in use
  QTimer releaseTimer_;
  QTimer otherPortsTimer_;
  DeviceUsersLookup deviceUsers_;
  std::shared_ptr<Opening> opening_;  // the step still opening, if any
  std::vector<PacedStep> heldSteps_;  // paced steps asked for meanwhile
  QList<PelSerialPortRef> freedWhileOpening_;  // let go by their program meanwhile
  QObject turns_;                     // the opening's later turns go with it
  // A port skipped as in use, waited for until its program lets go.
  struct HeldPort {
    PelSerialPortRef port;
    QString reason;            // the last one reported
    bool watched = false;      // false: looked up by heldRecheckTimer_
    bool pollingSaid = false;  // the fall-back on the timer is logged
    std::uint64_t lastClose = 0;
  };
  std::map<QString, HeldPort> held_;  // by path
  std::uint64_t closeSerial_ = 0;
  QTimer heldRecheckTimer_;
  int heldRecheckMs_ = kHeldRecheckMs;
  // Last: it goes first, and with it every call into this object.
  std::unique_ptr<platform::DeviceCloseWatch> closeWatch_;
};

}  // namespace ostrel
