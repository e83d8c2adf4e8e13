#include "UtilsPelSerialPortsValue.h"

#include "common/Log.h"
#include "monitor/MonitorState.h"
#include "monitor/PelSerialPortHelper.h"
#include "monitor/ViewControllerInterface.h"
#include "serial/PelSerialFrame.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"

#include <QString>
#include <algorithm>
#include <array>
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

// Read-parameter identifiers the monitor knows: 1, 2, 3, 4, 7, 8, 9, 16, 17,
// as bit (identifier - 1).
constexpr std::uint32_t kReadableIdentifierMask = 0x181CF;
// What each identifier is sent as; refused positions hold 17 and are never used.
constexpr std::array<std::int32_t, 17> kIdentifierTable = {1, 2, 3, 4, 17, 17, 7, 8, 9, 17, 17, 17, 17, 17, 17, 16, 17};

std::int32_t within(std::int32_t value, std::int32_t low, std::int32_t high, std::int32_t otherwise) {
  return value >= low && value <= high ? value : otherwise;
}

// The parameter that goes into the frame, or nothing when the command must be
// refused.
std::optional<std::int32_t> applyParameterRule(std::int32_t command, std::int32_t optional) {
  switch (command) {
    case 1: return within(optional, 1, 9, 1);
    case 2: return within(optional, 2, 4, 2);
    case 3: return within(optional, 0, 1, 0);
    case 4: return within(optional, 1, 5, 1);
    case 5: return within(optional, 0, 3, 0);
    case 6: return within(optional, 0, 15, 0);
    case 240: return within(optional, 0, 3, 0);
    case 10:
      if (optional < 1 || optional > 17 || ((kReadableIdentifierMask >> (optional - 1)) & 1) == 0) return std::nullopt;
      return kIdentifierTable[static_cast<size_t>(optional - 1)];
    default: return optional;  // 7, 8, 9 and unknown codes: no rule
  }
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

}  // namespace

UtilsPelSerialPortsValue::UtilsPelSerialPortsValue() : availablePorts_(managerAvailablePorts) {
  releaseTimer_.setSingleShot(true);
  // A coarse timer may fire 5 % early; the port is promised its full 2 s.
  releaseTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&releaseTimer_, &QTimer::timeout, [this] { releaseUnanswered(pass_); });
}

UtilsPelSerialPortsValue::~UtilsPelSerialPortsValue() = default;

void UtilsPelSerialPortsValue::setAvailablePortsSource(AvailablePortsSource source) {
  availablePorts_ = source ? std::move(source) : AvailablePortsSource(managerAvailablePorts);
}

bool UtilsPelSerialPortsValue::sendCommand(std::int32_t command, std::int32_t optional) {
  log("sendCommand****** command = %d, optional = %d", command, optional);
  // One copy for the whole send: the main thread may switch ports meanwhile.
  const PelSerialPortRef port = currentPort.load();
  if (!port || !port->isOpen()) {
    log("需要弹窗显示异常 currentPort = %@", port);
    return false;
  }
  if (command < 0 || command > 0xFF) {
    // The frame has one byte for the command; a wider code would shift the tail
    // and the monitor would read garbage.
    log("sendCommand refused: command %d does not fit the frame's command byte", command);
    return false;
  }
  const std::optional<std::int32_t> parameter = applyParameterRule(command, optional);
  if (!parameter) {
    log("需要弹窗显示异常");
    return false;
  }
  const QByteArray frame = pelCommandFrameText(command, *parameter);
  log("\n> has send Data value %@", QString::fromLatin1(frame).toLower());
  port->sendData(frame);
  return true;
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

void UtilsPelSerialPortsValue::startPin() {
  QList<PelSerialPortRef> ports = availablePorts_();
  ports.removeAll(nullptr);
  caluPortsArr->clear();
  serialPortHelper = std::make_shared<PelSerialPortHelper>();
  // The previous pass, if still waiting for its probe or its answers, is over.
  ++pass_;
  probed_.clear();
  releaseTimer_.stop();
  if (ports.isEmpty()) {
    log("startPin error end return");
    return;
  }
  log("startPin availablePorts.count = %lu", ports.size());

  const std::shared_ptr<PelSerialPortHelper> helper = serialPortHelper;
  QList<PelSerialPortRef> opened;
  for (const PelSerialPortRef& port : ports) {
    bool ok = false;
    guarded(port, [&] {
      log("startPinAvailablePorts11111 %@", port);
      helper->setSerialPort(port);
      port->setDelegate(helper);
      log("startPinAvailablePorts11111 %@", helper->serialPort());
      port->open();
      ok = true;
    });
    if (ok) {
      opened.append(port);
    } else {
      log("startPinAvailablePorts");
      log("startPinAvailablePorts  end222222222");
    }
  }
  if (opened.isEmpty()) return;
  // Every port is given the same settling time after opening, all at once, so
  // a pass takes 0.33 s however many ports there are.
  const std::uint64_t pass = pass_;
  runPacedSequence({{nullptr, kProbeDelayMs}, {[this, pass, opened] { probe(pass, opened); }, kCommandSpacingMs}});
}

void UtilsPelSerialPortsValue::probe(std::uint64_t pass, const QList<PelSerialPortRef>& ports) {
  if (pass != pass_) return;  // superseded by a newer pass, which probes on its own
  for (const PelSerialPortRef& port : ports) {
    guarded(port, [&] {
      log("startPinAvailablePorts  获取参数--MCU版本号");
      log("startPinAvailablePorts serialPort,fileDr %@", port);
      port->sendDataWithCommand(kReadParameterCommand, kMCUVersionIdentifier);
      probed_.append(port);
    });
    log("startPinAvailablePorts");
    log("startPinAvailablePorts  end222222222");
  }
  releaseTimer_.start(kProbeReleaseMs);
}

void UtilsPelSerialPortsValue::releaseUnanswered(std::uint64_t pass) {
  if (pass != pass_) return;
  const QList<PelSerialPortRef> probed = std::exchange(probed_, {});
  for (const PelSerialPortRef& port : probed) {
    const bool accepted = std::any_of(caluPortsArr->cbegin(), caluPortsArr->cend(),
                                      [&port](const PelSerialPortRef& p) { return samePort(p, port); });
    if (accepted || !port->isOpen()) continue;
    log("startPin closing %@: no monitor answered the probe", port);
    guarded(port, [&] { port->close(); });
  }
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

void UtilsPelSerialPortsValue::runPacedSequence(std::vector<PacedStep> steps) { paced_.run(std::move(steps)); }

}  // namespace ostrel
