#include "UtilsPelSerialPortsValue.h"

#include "common/Log.h"
#include "common/MainThread.h"
#include "monitor/MonitorProtocol.h"
#include "monitor/MonitorState.h"
#include "monitor/PelSerialPortHelper.h"
#include "monitor/ViewControllerInterface.h"
#include "platform/posix/InotifyCloseWatch.h"
#include "serial/PelSerialFrame.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <utility>

namespace ostrel {
namespace {

// The single place where discovery learns which serial ports exist: the port
// manager's list, in the manager's order.
QList<PelSerialPortRef> managerAvailablePorts() {
  QList<PelSerialPortRef> ports;
  for (const std::shared_ptr<PelSerialPort>& port : PelSerialPortManager::sharedSerialPortManager().availablePorts())
    ports.append(port);
  return ports;
}

template <typename Fn>
void guarded(const PelSerialPortRef& port, Fn&& fn) {
  // A port operation that throws must not stop the other ports' probing.
  try {
    fn();
  } catch (const std::exception& e) {
    log("%@ serial port operate error is %@", port, e.what());
  } catch (...) {
    log("%@ serial port operate error is %@", port, "unknown exception");
  }
}

bool listed(const QList<PelSerialPortRef>& ports, const PelSerialPortRef& port) {
  return std::any_of(ports.cbegin(), ports.cend(), [&port](const PelSerialPortRef& p) { return samePort(p, port); });
}

// "in use by 4242 minicom", several programs joined by ", ".
QString inUseReason(const std::vector<platform::DeviceUser>& users) {
  QStringList who;
  for (const platform::DeviceUser& user : users) who << QStringLiteral("%1 %2").arg(user.pid).arg(user.command);
  return probereason::inUsePrefix + who.join(QStringLiteral(", "));
}

}  // namespace

UtilsPelSerialPortsValue::UtilsPelSerialPortsValue() : availablePorts_(managerAvailablePorts) {
  // A coarse timer may fire 5 % early; the port is promised its full 2 s, the
  // known monitor its full answer window.
  for (QTimer* timer : {&releaseTimer_, &otherPortsTimer_}) {
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
  }
  QObject::connect(&releaseTimer_, &QTimer::timeout, [this] { releaseUnanswered(); });
  QObject::connect(&otherPortsTimer_, &QTimer::timeout, [this] { probeOtherPorts(pass_); });
  QObject::connect(&heldRecheckTimer_, &QTimer::timeout, [this] { recheckPolled(); });
  setCloseWatch(platform::makeInotifyCloseWatch());
}

UtilsPelSerialPortsValue::~UtilsPelSerialPortsValue() {
  if (helper_) helper_->setOnAccepted(nullptr);
  if (closeWatch_) {
    for (const auto& [path, held] : held_) closeWatch_->unwatch(path);
  }
}

void UtilsPelSerialPortsValue::setCloseWatch(std::unique_ptr<platform::DeviceCloseWatch> watch) {
  if (closeWatch_) {
    for (const auto& [path, held] : held_) closeWatch_->unwatch(path);
  }
  closeWatch_ = std::move(watch);
  if (closeWatch_) closeWatch_->setClosedHandler([this](const QString& path) { heldClosed(path); });
  QStringList paths;
  for (auto& [path, held] : held_) {
    held.watched = false;
    paths << path;
  }
  for (const QString& path : paths) watchHeld(path);
}

void UtilsPelSerialPortsValue::setHeldRecheckMs(int ms) {
  heldRecheckMs_ = ms;
  if (heldRecheckTimer_.isActive()) heldRecheckTimer_.start(heldRecheckMs_);
}

QStringList UtilsPelSerialPortsValue::heldPorts() const {
  QStringList paths;
  for (const auto& [path, held] : held_) paths << path;
  return paths;
}

QStringList UtilsPelSerialPortsValue::polledHeldPorts() const {
  QStringList paths;
  for (const auto& [path, held] : held_) {
    if (!held.watched) paths << path;
  }
  return paths;
}

void UtilsPelSerialPortsValue::setAvailablePortsSource(AvailablePortsSource source) {
  availablePorts_ = source ? std::move(source) : AvailablePortsSource(managerAvailablePorts);
}

void UtilsPelSerialPortsValue::setAdapterMemory(AdapterMemory memory) {
  adapterMemory_ = std::move(memory);
}

bool UtilsPelSerialPortsValue::sendCommand(std::int32_t command, std::int32_t optional) {
  log("sendCommand****** command = %d, optional = %d", command, optional);
  // One copy for the whole send: the main thread may switch ports meanwhile.
  const PelSerialPortRef port = currentPort.load();
  if (!port || !port->isOpen()) {
    log("需要弹窗显示异常 currentPort = %@", port);
    // A port that closed under the command (its adapter pulled out since the
    // caller looked) failed to write it.
    if (port && mainthread::isMainThread()) ++failedMainThreadSends_;
    return false;
  }
  if (command < 0 || command > 0xFF) {
    // The frame has one byte for the command; a wider code would shift the tail
    // and the monitor would read garbage.
    log("sendCommand refused: command %d does not fit the frame's command byte", command);
    return false;
  }
  const std::optional<std::int32_t> parameter = protocol::parameterFor(command, optional);
  if (!parameter) {
    log("需要弹窗显示异常");
    return false;
  }
  const QByteArray frame = pelCommandFrameText(command, *parameter);
  log("\n> has send Data value %@", QString::fromLatin1(frame).toLower());
  if (port->sendData(frame)) return true;
  if (mainthread::isMainThread()) ++failedMainThreadSends_;
  return false;
}

void UtilsPelSerialPortsValue::initSerialPorts() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (availablePorts_().isEmpty()) {
    log("No connected serial ports found. Please connect your USB to serial adapter(s) and run the program "
        "again.\n\n");
  }
}

void UtilsPelSerialPortsValue::startPinAvailablePorts(std::shared_ptr<QList<PelSerialPortRef>> list,
                                                      std::shared_ptr<ViewControllerInterface> viewController) {
  mainViewController = std::move(viewController);
  caluPortsArr = list ? std::move(list) : std::make_shared<QList<PelSerialPortRef>>();
}

void UtilsPelSerialPortsValue::noteArrivals(const QList<PelSerialPortRef>& ports) {
  for (const PelSerialPortRef& port : ports) {
    if (port) newcomers_.insert(port->path());
  }
}

void UtilsPelSerialPortsValue::startPin() {
  QList<PelSerialPortRef> ports = availablePorts_();
  ports.removeAll(nullptr);
  // The accepted monitors stay while their ports are open: this pass asks them
  // again, and one that misses the question is still the monitor in use.
  caluPortsArr->removeIf([](const PelSerialPortRef& p) { return !p || !p->isOpen(); });
  if (helper_) helper_->setOnAccepted(nullptr);
  helper_ = std::make_shared<PelSerialPortHelper>();
  serialPortHelper = helper_;
  QSet<QString> alreadyListed;
  for (const PelSerialPortRef& p : *caluPortsArr) alreadyListed.insert(p->path());
  helper_->setAlreadyListed(alreadyListed);
  helper_->setOnAccepted([this](const PelSerialPortRef& port) { monitorAccepted(port); });
  // The ports held open from earlier passes hear from the new helper too.
  for (const QList<PelSerialPortRef>* held : {caluPortsArr.get(), &probed_}) {
    for (const PelSerialPortRef& p : *held) {
      if (p->isOpen()) p->setDelegate(helper_);
    }
  }
  // The previous pass, if still waiting for its probe or its answers, is over.
  ++pass_;
  otherPortsTimer_.stop();
  otherPorts_.clear();
  opening_.reset();
  freedWhileOpening_.clear();  // still newcomers: this pass asks them first
  knownPaths_.clear();
  answered_.clear();
  portProbeReports.clear();
  if (ports.isEmpty()) {
    for (const QString& path : heldPorts()) letGo(path);
    log("startPin error end return");
    releaseHeldSteps();
    return;
  }
  log("startPin availablePorts.count = %lu", ports.size());
  for (const PelSerialPortRef& port : ports) portProbeReports.append({port->name(), port->path(), QString()});
  // A held port that is no longer listed is no longer waited for.
  QStringList gone;
  for (const auto& [path, held] : held_) {
    if (!listed(ports, held.port)) gone << path;
  }
  for (const QString& path : gone) letGo(path);

  const QString remembered = adapterMemory_.recall ? adapterMemory_.recall() : QString();
  QList<PelSerialPortRef> first;
  for (const PelSerialPortRef& port : ports) {
    const bool known = listed(*caluPortsArr, port) || (!remembered.isEmpty() && port->adapterIdentity() == remembered);
    if (known) knownPaths_.insert(port->path());
    if (known || newcomers_.contains(port->path()))
      first.append(port);
    else
      otherPorts_.append(port);
  }
  if (knownPaths_.isEmpty()) {
    // Nothing known: every port is probed at once.
    first = ports;
    otherPorts_.clear();
  }
  for (const PelSerialPortRef& port : first) newcomers_.remove(port->path());
  probePorts(first, true);
}

// One step's opening: the ports it probes, which of them other programs hold,
// and how far it has got.
struct UtilsPelSerialPortsValue::Opening {
  std::uint64_t pass = 0;
  bool firstOfPass = false;
  QList<PelSerialPortRef> ports;
  DeviceUsersLookup::Users users;
  qsizetype next = 0;
  QList<PelSerialPortRef> opened;
  bool knownOpened = false;
};

void UtilsPelSerialPortsValue::probePorts(const QList<PelSerialPortRef>& ports, bool firstOfPass) {
  // Whether another program holds a device is looked up once for the ports this
  // step opens; the ones we hold already are ours.
  QStringList closedPaths;
  for (const PelSerialPortRef& port : ports) {
    if (!port->isOpen()) closedPaths << port->path();
  }
  auto opening = std::make_shared<Opening>();
  opening->pass = pass_;
  opening->firstOfPass = firstOfPass;
  opening->ports = ports;
  opening_ = opening;
  deviceUsers_.lookUp(closedPaths, [this, opening](DeviceUsersLookup::Users users) {
    if (opening_ != opening) return;  // superseded by a newer pass, which opens on its own
    opening->users = std::move(users);
    openNext(opening);
  });
}

void UtilsPelSerialPortsValue::openNext(const std::shared_ptr<Opening>& opening) {
  if (opening_ != opening) return;
  bool tried = false;
  while (!tried && opening->next < opening->ports.size()) tried = openOne(*opening, opening->ports[opening->next++]);
  if (opening->next < opening->ports.size()) {
    // One open per turn of the event loop: the device, its line settings and
    // its thread take a few milliseconds each, too long for nine in a row.
    QTimer::singleShot(0, &turns_, [this, opening] { openNext(opening); });
    return;
  }
  opening_.reset();
  portsOpened(*opening);
  probeFreed();
}

bool UtilsPelSerialPortsValue::openOne(Opening& opening, const PelSerialPortRef& port) {
  if (const auto it = opening.users.find(port->path()); it != opening.users.end() && !port->isOpen()) {
    // Its program would read the probe in the middle of its own traffic.
    newcomers_.insert(port->path());
    report(port, inUseReason(it->second));
    holdSkipped(port, inUseReason(it->second));
    return false;
  }
  // Our own open and close must not read as its program letting go.
  letGo(port->path());
  const std::shared_ptr<PelSerialPortHelper> helper = helper_;
  bool ok = false;
  guarded(port, [&] {
    log("startPinAvailablePorts11111 %@", port);
    helper->setSerialPort(port);
    port->setDelegate(helper);
    log("startPinAvailablePorts11111 %@", helper->serialPort());
    port->open();
    ok = true;
  });
  if (!ok) {
    log("startPinAvailablePorts");
    log("startPinAvailablePorts  end222222222");
    report(port, probereason::cannotBeOpened);
  } else if (!port->isOpen()) {
    report(port, probereason::cannotBeOpened);
  } else {
    report(port, probereason::probed);
    newcomers_.remove(port->path());
    opening.opened.append(port);
    opening.knownOpened = opening.knownOpened || knownPaths_.contains(port->path());
    // Listed for the release at once: a newer pass may supersede this one
    // before its last port is open.
    // By object: a port left over at the same path (a device gone since) must
    // not stand in for this one at the release.
    if (!probed_.contains(port)) probed_.append(port);
  }
  return true;
}

void UtilsPelSerialPortsValue::portsOpened(const Opening& opening) {
  if (!opening.opened.isEmpty()) {
    // Every port is given the same settling time after opening, all at once, so
    // a pass takes 0.33 s however many ports there are.
    const std::uint64_t pass = opening.pass;
    const QList<PelSerialPortRef> opened = opening.opened;
    const bool knownOpened = opening.knownOpened;
    runPacedSequence({{nullptr, kProbeDelayMs},
                      {[this, pass, opened, knownOpened] { probe(pass, opened, knownOpened); }, kCommandSpacingMs}});
  }
  if (!opening.firstOfPass) {
    releaseHeldSteps();
    return;
  }
  const bool knownProbed = std::any_of(probed_.cbegin(), probed_.cend(),
                                       [this](const PelSerialPortRef& p) { return knownPaths_.contains(p->path()); });
  // A known monitor that cannot be asked cannot answer: the others go now.
  if (!otherPorts_.isEmpty() && !knownProbed) probeOtherPorts(pass_);
  releaseHeldSteps();
}

void UtilsPelSerialPortsValue::probe(std::uint64_t pass, const QList<PelSerialPortRef>& ports, bool knownFirst) {
  if (pass != pass_) return;  // superseded by a newer pass, which probes on its own
  for (const PelSerialPortRef& port : ports) {
    guarded(port, [&] {
      log("startPinAvailablePorts  获取参数--MCU版本号");
      log("startPinAvailablePorts serialPort,fileDr %@", port);
      port->sendDataWithCommand(kReadParameterCommand, kMCUVersionIdentifier);
    });
    log("startPinAvailablePorts");
    log("startPinAvailablePorts  end222222222");
  }
  releaseTimer_.start(kProbeReleaseMs);
  if (knownFirst && !otherPorts_.isEmpty()) otherPortsTimer_.start(knownMonitorAnswerMs_);
}

void UtilsPelSerialPortsValue::probeOtherPorts(std::uint64_t pass) {
  if (pass != pass_ || otherPorts_.isEmpty()) return;
  otherPortsTimer_.stop();
  const QList<PelSerialPortRef> others = std::exchange(otherPorts_, {});
  probePorts(others, false);
}

void UtilsPelSerialPortsValue::monitorAccepted(const PelSerialPortRef& port) {
  answered_.insert(port->path());
  if (adapterMemory_.remember && !caluPortsArr->isEmpty() && samePort(caluPortsArr->first(), port)) {
    const QString identity = port->adapterIdentity();
    const QString remembered = adapterMemory_.recall ? adapterMemory_.recall() : QString();
    if (identity != remembered) adapterMemory_.remember(identity);
  }
  if (!knownPaths_.contains(port->path()) || otherPorts_.isEmpty()) return;
  // The known monitor answered: the other ports keep what they are doing.
  otherPortsTimer_.stop();
  for (const PelSerialPortRef& other : std::exchange(otherPorts_, {})) report(other, probereason::leftAlone);
}

void UtilsPelSerialPortsValue::releaseUnanswered() {
  const QList<PelSerialPortRef> probed = std::exchange(probed_, {});
  const PelSerialPortRef current = currentPort.load();
  for (const PelSerialPortRef& port : probed) {
    const bool answered = answered_.contains(port->path());
    if (!answered && port->isOpen()) report(port, probereason::unanswered);
    // A monitor in use is never let go, whether or not it answered this time.
    // The very port, not one at the same path: a device plugged in where the
    // monitor was is not the monitor.
    if (answered || listed(*caluPortsArr, port) || port == current || !port->isOpen()) continue;
    log("startPin closing %@: no monitor answered the probe", port);
    guarded(port, [&] { port->close(); });
  }
}

void UtilsPelSerialPortsValue::report(const PelSerialPortRef& port, const QString& reason) {
  if (reason.startsWith(probereason::inUsePrefix)) {
    log("Discovery: %@ (%@): %@; nothing is written to it in this pass", port->name(), port->path(), reason);
  } else {
    log("Discovery: %@ (%@): %@", port->name(), port->path(), reason);
  }
  for (PortProbeReport& entry : portProbeReports) {
    if (entry.path == port->path()) entry.reason = reason;
  }
}

void UtilsPelSerialPortsValue::holdSkipped(const PelSerialPortRef& port, const QString& reason) {
  HeldPort& held = held_[port->path()];
  held.port = port;
  held.reason = reason;
  if (!held.watched) watchHeld(port->path());
}

void UtilsPelSerialPortsValue::watchHeld(const QString& path) {
  const auto it = held_.find(path);
  if (it == held_.end()) return;
  HeldPort& held = it->second;
  QString why = QStringLiteral("no close watch");
  const bool watched = closeWatch_ && closeWatch_->watch(path, &why);
  // Said once each time the port falls back on the timer, not at every look.
  if (!watched && !held.pollingSaid) {
    log("Discovery: %@ (%@): closes of it cannot be watched (%@); looked at again every %d ms", held.port->name(), path,
        why, heldRecheckMs_);
  }
  held.pollingSaid = !watched;
  held.watched = watched;
  updatePolling();
}

void UtilsPelSerialPortsValue::updatePolling() {
  if (polledHeldPorts().isEmpty()) {
    heldRecheckTimer_.stop();
  } else if (!heldRecheckTimer_.isActive()) {
    heldRecheckTimer_.start(heldRecheckMs_);
  }
}

void UtilsPelSerialPortsValue::letGo(const QString& path) {
  const auto it = held_.find(path);
  if (it == held_.end()) return;
  if (it->second.watched && closeWatch_) closeWatch_->unwatch(path);
  held_.erase(it);
  updatePolling();
}

void UtilsPelSerialPortsValue::heldClosed(const QString& path) {
  const auto it = held_.find(path);
  if (it == held_.end()) return;
  // Each close starts the wait anew: a program that reopens at once still
  // holds it. Only the wait of the last close looks.
  const std::uint64_t close = ++closeSerial_;
  it->second.lastClose = close;
  QTimer::singleShot(kHeldCloseSettleMs, &heldRecheckTimer_, [this, path, close] {
    const auto held = held_.find(path);
    if (held != held_.end() && held->second.lastClose == close) recheckHeld(path);
  });
}

void UtilsPelSerialPortsValue::recheckPolled() {
  for (const QString& path : polledHeldPorts()) recheckHeld(path);
}

void UtilsPelSerialPortsValue::recheckHeld(const QString& path) {
  const auto it = held_.find(path);
  if (it == held_.end()) return;
  const PelSerialPortRef port = it->second.port;
  if (!listed(availablePorts_(), port) || !QFileInfo::exists(path) || port->isOpen()) {
    // Unplugged (the next pass hears of it), or ours already.
    letGo(path);
    return;
  }
  // Off the main thread like a pass's own look-up; the port may have changed
  // hands again by the time the answer is here.
  deviceUsers_.lookUp({path}, [this, path](DeviceUsersLookup::Users users) { heldLookedUp(path, users); });
}

void UtilsPelSerialPortsValue::heldLookedUp(const QString& path, const DeviceUsersLookup::Users& users) {
  const auto it = held_.find(path);
  if (it == held_.end()) return;
  const PelSerialPortRef port = it->second.port;
  if (const auto user = users.find(path); user != users.end()) {
    const QString reason = inUseReason(user->second);
    if (reason != it->second.reason) {
      it->second.reason = reason;
      report(port, reason);
    }
    // Watched again: a node made anew under the same name (replugged) has
    // lost its watch, and one that could not be watched may be now.
    watchHeld(path);
    return;
  }
  letGo(path);
  log("Discovery: %@ (%@): no longer in use", port->name(), path);
  const bool monitorInUse =
      std::any_of(caluPortsArr->cbegin(), caluPortsArr->cend(),
                  [&port](const PelSerialPortRef& p) { return p && p->isOpen() && !samePort(p, port); });
  if (monitorInUse) {
    // Still a newcomer: the next pass asks it.
    report(port, probereason::leftAlone);
    return;
  }
  if (!otherPorts_.isEmpty() && !knownPaths_.contains(path)) {
    // The known monitor's answer decides for it as for the other ports.
    if (!listed(otherPorts_, port)) otherPorts_.append(port);
    return;
  }
  if (opening_) {
    // A new opening would supersede the one under way: it goes once that is done.
    if (!listed(freedWhileOpening_, port)) freedWhileOpening_.append(port);
    return;
  }
  probePorts({port}, false);
}

void UtilsPelSerialPortsValue::probeFreed() {
  if (opening_ || freedWhileOpening_.isEmpty()) return;
  probePorts(std::exchange(freedWhileOpening_, {}), false);
}

void UtilsPelSerialPortsValue::currentDisplayPort(std::int32_t indexOfPortsArr) {
  log("currentDisplayPort indexOfPortsArr = %d", indexOfPortsArr);
  log("currentDisplayPort caluPortsArr.count = %lu", caluPortsArr->size());
  if (indexOfPortsArr >= 0 && indexOfPortsArr < caluPortsArr->size()) {
    currentPort.store(caluPortsArr->at(indexOfPortsArr));
    return;
  }
  log("currentDisplayPort 未找到匹配的设备应该显示不能调整");
}

void UtilsPelSerialPortsValue::runPacedSequence(std::vector<PacedStep> steps) {
  // Asked for while a pass is still opening its ports, the steps go behind
  // that pass's probe, as they would have had the ports opened at once (load's
  // settling second, say, must follow the probe).
  if (opening_) {
    for (PacedStep& step : steps) heldSteps_.push_back(std::move(step));
    return;
  }
  paced_.run(std::move(steps));
}

void UtilsPelSerialPortsValue::releaseHeldSteps() {
  if (opening_ || heldSteps_.empty()) return;
  paced_.run(std::exchange(heldSteps_, {}));
}

}  // namespace ostrel
