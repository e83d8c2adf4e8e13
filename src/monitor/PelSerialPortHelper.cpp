#include "PelSerialPortHelper.h"

#include "common/Log.h"
#include "monitor/MonitorProtocol.h"
#include "monitor/MonitorState.h"
#include "monitor/PortOpenAdvice.h"
#include "monitor/ViewControllerInterface.h"

#include <QString>
#include <algorithm>
#include <optional>

namespace ostrel {
namespace {

constexpr std::uint8_t kParameterReportMarker = 10;  // CommandRe of a parameter report

// The text length of a chunk in UTF-16 units, as the monitor's text would be
// counted once decoded; pure ASCII (every well-behaved chunk) needs no decoding.
qsizetype textLength(const QByteArray& data) {
  const bool ascii = std::all_of(data.cbegin(), data.cend(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii ? data.size() : QString::fromUtf8(data).size();
}

enum class InputAction { None, Key, Move, Click, LongMove };

struct InputEvent {
  InputAction action = InputAction::None;
  std::int32_t a = 0;
  std::int32_t b = 0;
};

// The monitor's own keys and pointer controls, by event number.
constexpr InputEvent kInputEvents[] = {
    {},                              // 0
    {InputAction::Key, 121, 0},      // 1 Page Down
    {InputAction::Key, 116, 0},      // 2 Page Up
    {InputAction::Key, 125, 0},      // 3 Down Arrow
    {InputAction::Key, 126, 0},      // 4 Up Arrow
    {InputAction::Key, 51, 0},       // 5 Delete
    {},                              // 6
    {InputAction::Move, -6, 0},      // 7
    {InputAction::Move, 6, 0},       // 8
    {InputAction::Move, 0, 6},       // 9
    {InputAction::Move, 0, -6},      // 10
    {InputAction::Click, 0, 0},      // 11 left
    {InputAction::Click, 1, 0},      // 12 right
    {},                              // 13
    {},                              // 14
    {},                              // 15
    {InputAction::LongMove, 0, -70}, // 16
    {InputAction::LongMove, 0, 70},  // 17
    {InputAction::LongMove, 70, 0},  // 18
    {InputAction::LongMove, -70, 0}, // 19
    {InputAction::LongMove, 0, 0},   // 20 ends a long movement
    {InputAction::LongMove, 0, 0},   // 21
    {InputAction::LongMove, 0, 0},   // 22
    {InputAction::LongMove, 0, 0},   // 23
};

}  // namespace

bool PelSerialPortHelper::respondsTo(PelSerialPortDelegateOperation operation) const {
  constexpr std::uint32_t implemented =
      PelSerialPortDelegateOperation::WasRemovedFromSystem | PelSerialPortDelegateOperation::DidReceiveData |
      PelSerialPortDelegateOperation::DidEncounterError | PelSerialPortDelegateOperation::WasOpened |
      PelSerialPortDelegateOperation::WasClosed;
  return hasOperation(implemented, operation);
}

void PelSerialPortHelper::serialPortWasRemovedFromSystem(const PelSerialPortRef& port) {
  log("serialPortWasRemovedFromSystem  %@", port);
  if (port) reassemblers_.remove(port->path());
  if (caluPortsArr) caluPortsArr->removeIf([&port](const PelSerialPortRef& p) { return samePort(p, port); });
  if (mainViewController) mainViewController->updateMainViewContent();
  serialPort_.reset();
}

void PelSerialPortHelper::serialPortWasClosed(const PelSerialPortRef& port) {
  if (!caluPortsArr || !std::any_of(caluPortsArr->cbegin(), caluPortsArr->cend(),
                                    [&port](const PelSerialPortRef& p) { return samePort(p, port); })) {
    return;
  }
  log("serialPortWasClosed %@: the monitor's port closed; it leaves the monitor list", port);
  serialPortWasRemovedFromSystem(port);
}

void PelSerialPortHelper::serialPortDidReceiveData(const PelSerialPortRef& port, const QByteArray& data) {
  log("didReceiveData string.length = %lu", textLength(data));
  if (!port) return;
  MonitorMessageList messages;
  const qsizetype ignored = reassemblers_[port->path()].feed(data, messages);
  if (ignored > 0) log("didReceiveData ignored %ld bytes that are not part of a message", ignored);
  for (const MonitorMessage& m : messages) {
    log("接受消息***********command = %0X,CommandRe = %0X, CommandRq = %0X, CommandReValue = %0X", m.command,
        m.commandRe, m.commandRq, m.commandReValue);
    route(port, m);
  }
}

void PelSerialPortHelper::serialPortDidEncounterError(const PelSerialPortRef& port, const PelPosixError& error) {
  log("%s %@ %@", "-[PelSerialPortHelper serialPort:didEncounterError:]", port, error);
  PortOpenAdvice::logOncePerPort(port ? port->path() : error.filePath, error.code);
}

void PelSerialPortHelper::serialPortWasOpened(const PelSerialPortRef& port) {
  notice("Serial port %s was opened\n", port ? port->name() : QString());
}

qsizetype PelSerialPortHelper::bufferedByteCount(const PelSerialPortRef& port) const {
  if (!port) return 0;
  const auto it = reassemblers_.constFind(port->path());
  return it == reassemblers_.cend() ? 0 : it->bufferedByteCount();
}

void PelSerialPortHelper::route(const PelSerialPortRef& port, const MonitorMessage& message) {
  switch (message.command) {
    case 0x00:
    case 0xF0:
      if (message.commandRe == kParameterReportMarker) routeParameterReport(port, message);
      return;
    case protocol::kInputEvent:
      routeInputEvent(message.commandRe);
      return;
    default:
      // 3 and 5 only confirm; other commands mean nothing to us.
      if (protocol::settingAnnouncedBy(message.command)) showSetting(message.command, 0, message.commandRe);
      return;
  }
}

void PelSerialPortHelper::routeParameterReport(const PelSerialPortRef& port, const MonitorMessage& message) {
  if (message.commandRq == 11 || message.commandRq == protocol::kMCUVersionIdentifier) {
    acceptMCUVersion(port, message.commandReValue);
    return;
  }
  if (protocol::settingReportedAs(message.commandRq)) showSetting(0, message.commandRq, message.commandReValue);
}

// One setting's value, from a notice (by command code) or a parameter report
// (by identifier), to its display handler.
void PelSerialPortHelper::showSetting(std::int32_t command, std::int32_t identifier, std::int32_t value) {
  const std::optional<protocol::MonitorSetting> setting =
      command != 0 ? protocol::settingAnnouncedBy(command) : protocol::settingReportedAs(identifier);
  if (!setting) return;
  if (!protocol::inRange(*setting, value)) {
    const protocol::SettingRange& range = protocol::settingRange(*setting);
    log("didReceiveData ignored a report of %s %d: the monitor's %s is %d..%d", range.label, value, range.label,
        range.minimum, range.maximum);
    return;
  }
  const std::shared_ptr<ViewControllerInterface> view = mainViewController;
  if (!view) return;
  switch (*setting) {
    case protocol::MonitorSetting::Contrast:
      view->updateViewThresholdDisplay(value);
      break;
    case protocol::MonitorSetting::ImageMode:
      view->updateViewModeDisplay(value);
      break;
    case protocol::MonitorSetting::RefreshSpeed:
      view->updateViewSpeedDisplay(value);
      break;
    case protocol::MonitorSetting::FrontLightMode:
      view->updateViewFrontLightModeDisplay(value);
      break;
    case protocol::MonitorSetting::Temperature:
      view->updateViewFrontTemperatureValueDisplay(value);
      break;
    case protocol::MonitorSetting::Brightness:
      view->updateViewFrontBrightnessValueDisplay(value);
      break;
  }
}

void PelSerialPortHelper::routeInputEvent(std::uint8_t event) {
  if (event >= std::size(kInputEvents)) return;
  const InputEvent& e = kInputEvents[event];
  const std::shared_ptr<ViewControllerInterface> view = mainViewController;
  if (!view) return;
  switch (e.action) {
    case InputAction::Key: view->receiveKeyBoardClickWithCode(e.a); break;
    case InputAction::Move: view->receiveMouseMovePointX(e.a, e.b); break;
    case InputAction::Click: view->receiveMouseClickEvent(e.a); break;
    case InputAction::LongMove: view->receiveMouseLongMovePonitX(e.a, e.b); break;
    case InputAction::None: break;
  }
}

void PelSerialPortHelper::acceptMCUVersion(const PelSerialPortRef& port, std::int32_t version) {
  if (!protocol::isKnownMCUVersion(version)) return;
  // Appended without looking for it first: a port that answers twice is listed
  // twice, and one removal takes both entries away. A monitor kept from an
  // earlier pass is listed already.
  if (port && alreadyListed_.remove(port->path())) {
    log("acceptMCUVersion %@ is listed already", port);
  } else if (caluPortsArr) {
    caluPortsArr->append(port);
  }
  if (onAccepted_ && port) onAccepted_(port);
  const std::shared_ptr<ViewControllerInterface> view = mainViewController;
  if (!view) return;
  view->updateViewCurrentMCUVersion(version);
  view->updateMainViewContent();
}

}  // namespace ostrel
