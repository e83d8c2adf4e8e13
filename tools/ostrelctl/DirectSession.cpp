#include "ostrelctl/DirectSession.h"

#include "common/Log.h"
#include "control/ControlSnapshot.h"
#include "monitor/MonitorProtocol.h"
#include "monitor/MonitorState.h"
#include "monitor/UtilsPelSerialPortsValue.h"
#include "ostrelctl/HeadlessViewController.h"
#include "ostrelctl/OpenFailureDiagnosis.h"
#include "ostrelctl/RefreshSettingsCommand.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"

#include <QEventLoop>
#include <QStringList>
#include <QTimer>

namespace ostrel::ctl {
namespace {

constexpr int kSpacingMs = UtilsPelSerialPortsValue::kCommandSpacingMs;

using namespace protocol;

QList<PelSerialPortRef> managerPorts() {
  QList<PelSerialPortRef> ports;
  for (const std::shared_ptr<PelSerialPort>& port : PelSerialPortManager::sharedSerialPortManager().availablePorts())
    ports.append(port);
  return ports;
}

CtlOutcome failure(ExitCode code, const QString& text) {
  return {code, QString(), QStringLiteral("ostrelctl: %1\n").arg(text)};
}

}  // namespace

DirectSession::DirectSession() : DirectSession(Timing{}, managerPorts) {}

DirectSession::DirectSession(Timing timing, PortsSource ports)
    : timing_(timing), ports_(ports ? std::move(ports) : PortsSource(managerPorts)) {
  utlsPorts_ = std::make_unique<UtilsPelSerialPortsValue>();
  // Ostrel's own memory of the monitor's adapter: asked first, it spares the
  // other serial devices the probe.
  utlsPorts_->setAdapterMemory(
      {[] { return rememberedMonitorAdapter(PreferenceStore::standard()); },
       [](const QString& identity) { rememberMonitorAdapter(PreferenceStore::standard(), identity); }});
  view_ = std::make_shared<HeadlessViewController>(*utlsPorts_);
}

DirectSession::~DirectSession() {
  // The decoder reaches its window through this process-wide reference; ours
  // is about to go.
  if (mainViewController == view_) mainViewController.reset();
  view_->setOnChange(nullptr);
}

CtlOutcome DirectSession::run(const CtlRequest& request) {
  CtlOutcome found = discover(request.command == CtlCommand::Monitors);
  if (found.code != ExitCode::Done) return found;
  return execute(request);
}

bool DirectSession::monitorReady() const {
  return caluPortsArr && !caluPortsArr->isEmpty() && ControlSnapshot::capture().monitorReady();
}

bool DirectSession::waitUntil(const std::function<bool()>& done, int timeoutMs) {
  if (done()) return true;
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  view_->setOnChange([&] {
    if (done()) loop.quit();
  });
  // Discovery opens its ports over several turns of the event loop and tells
  // no window when it is done: look now and then as well.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  poll.start(10);
  deadline.start(timeoutMs);
  loop.exec();
  view_->setOnChange(nullptr);
  return done();
}

CtlOutcome DirectSession::discover(bool waitForEveryPort) {
  const QList<PelSerialPortRef> ports = ports_();
  if (ports.isEmpty()) return failure(ExitCode::NoMonitor, QStringLiteral("no monitor: no serial port found"));

  utlsPorts_->setAvailablePortsSource([ports] { return ports; });
  utlsPorts_->initSerialPorts();
  utlsPorts_->startPinAvailablePorts(std::make_shared<QList<PelSerialPortRef>>(), view_);
  utlsPorts_->startPin();
  // A known monitor is asked first; the other ports only if it stays silent.
  const int knownWindow = 2 * UtilsPelSerialPortsValue::kProbeDelayMs + UtilsPelSerialPortsValue::kKnownMonitorAnswerMs;
  waitUntil([&] { return !utlsPorts_->portsOpening() && (monitorReady() || !utlsPorts_->otherPortsPending()); },
            knownWindow + timing_.answerWindowMs);

  // Every step has opened its ports by now: a port still closed could not be
  // opened, or another program has it.
  for (const PelSerialPortRef& port : ports) {
    if (!port) continue;
    const QString reason = probeReasonOf(port);
    if (port->isOpen()) {
      ++openedCount_;
    } else if (reason == probereason::cannotBeOpened || reason.startsWith(probereason::inUsePrefix)) {
      unopened_.append(port);
    }
  }
  if (openedCount_ == 0) {
    return failure(
        ExitCode::NoAccess,
        QStringLiteral("Ostrel is not running, and no serial port could be opened:%1").arg(unopenedExplanation()));
  }

  const int window = UtilsPelSerialPortsValue::kProbeDelayMs + timing_.answerWindowMs;
  waitUntil(
      [&] {
        return waitForEveryPort ? !utlsPorts_->otherPortsPending() && view_->acceptedReports() >= openedCount_
                                : monitorReady();
      },
      window);
  if (monitorReady()) return {};
  // A port that could be opened and stayed silent is a usable line without a
  // monitor; the ones that could not be opened are named in case it is there.
  QString text = QStringLiteral("no monitor: no serial port answered as a monitor");
  if (!unopened_.isEmpty()) text += QStringLiteral("; these could not be opened:%1").arg(unopenedExplanation());
  return failure(ExitCode::NoMonitor, text);
}

QString DirectSession::unopenedExplanation() const {
  QString text;
  for (const PelSerialPortRef& port : unopened_) {
    if (!port) continue;
    // A device another program holds is not opened, not even to ask why.
    const QString reason = probeReasonOf(port);
    text +=
        QStringLiteral("\n  ") + (reason.startsWith(probereason::inUsePrefix)
                                      ? QStringLiteral("%1: %2 (nothing was written to it)").arg(port->path(), reason)
                                      : OpenFailureDiagnosis::explain(port));
  }
  return text;
}

QString DirectSession::probeReasonOf(const PelSerialPortRef& port) {
  for (const PortProbeReport& report : portProbeReports) {
    if (report.path == port->path()) return report.reason;
  }
  return {};
}

CtlOutcome DirectSession::send(std::int32_t command, std::int32_t parameter) {
  if (utlsPorts_->sendCommand(command, parameter)) return {};
  return notSent();
}

CtlOutcome DirectSession::notSent() const {
  // An open port that did not take the frame: the line failed or stalled.
  if (monitorReady()) {
    return failure(ExitCode::Failed,
                   QStringLiteral("the monitor's serial line did not take the command; it was dropped"));
  }
  return failure(ExitCode::NoMonitor, QStringLiteral("the monitor went away; nothing was sent"));
}

CtlOutcome DirectSession::frontLight(std::int32_t command, std::int32_t value) {
  if (currentMCUVersion != kFrontLightMCUVersion) {
    return failure(ExitCode::Failed,
                   QStringLiteral("the monitor %1 (MCU version %2) has no front light; nothing was sent")
                       .arg(ControlSnapshot::capture().currentMonitorName())
                       .arg(currentMCUVersion));
  }
  // What the front light list and the sliders do before they send.
  switch (command) {
    case kSetFrontLightMode:
      log("frontModeCheckAction mode = %d", value);
      currentFrontLightModeValue = value;
      break;
    case kSetBrightness:
      currentFrontBrightnessValue = value;
      log("frontModeBrightnessCheckAction brightness = %d", value);
      break;
    case kSetTemperature:
      currentFrontTemperatureValue = value;
      log("frontModeTemperatureCheckAction temperature = %d", value);
      break;
    default:
      break;
  }
  return send(command, value);
}

CtlOutcome DirectSession::execute(const CtlRequest& request) {
  const std::int32_t v = request.value;
  switch (request.command) {
    case CtlCommand::Refresh:
      return send(kRefresh, 1);
    case CtlCommand::Contrast:
      currentThresholdValue = v - 1;
      return send(kSetContrast, v);
    case CtlCommand::ImageMode:
      currentModeValue = v - 2;
      return send(kSetImageMode, v);
    case CtlCommand::RefreshSpeed:
      currentSpeedValue = v - 1;
      return send(kSetRefreshSpeed, v);
    case CtlCommand::FrontLight:
      return frontLight(kSetFrontLightMode, v);
    case CtlCommand::Brightness:
      return frontLight(kSetBrightness, v);
    case CtlCommand::Temperature:
      return frontLight(kSetTemperature, v);
    case CtlCommand::SyncTime:
      return send(kClockSync, 0);
    case CtlCommand::ContrastUp:
      return contrastStep(true);
    case CtlCommand::ContrastDown:
      return contrastStep(false);
    case CtlCommand::Read:
    case CtlCommand::Status:
    case CtlCommand::Monitors:
      return report(request);
    case CtlCommand::Help:
    case CtlCommand::Version:
    case CtlCommand::StartAtLoginOn:
    case CtlCommand::StartAtLoginOff:
    case CtlCommand::StartAtLoginStatus:
    case CtlCommand::GnomeShortcutsAdd:
    case CtlCommand::GnomeShortcutsRemove:
    case CtlCommand::GnomeShortcutsStatus:
    case CtlCommand::Keybindings:
    case CtlCommand::PauseWhileIdleOn:
    case CtlCommand::PauseWhileIdleOff:
    case CtlCommand::PageRefresh:
      break;
  }
  return {};
}

bool DirectSession::readBack(const std::vector<ControlSetting>& items) {
  std::vector<PacedStep> steps;
  for (const ControlSetting setting : items) {
    view_->clearReport(setting);
    const std::int32_t id = settingRange(setting).identifier;
    steps.push_back({[this, id] { utlsPorts_->sendCommand(kReadParameter, id); }, kSpacingMs});
  }
  utlsPorts_->runPacedSequence(std::move(steps));
  // The queue may still be spacing the discovery probe before the first request.
  const int window = kSpacingMs * static_cast<int>(items.size() + 1) + timing_.reportWindowMs;
  return waitUntil(
      [&] {
        for (const ControlSetting setting : items) {
          if (!view_->reported(setting)) return false;
        }
        return true;
      },
      window);
}

CtlOutcome DirectSession::contrastStep(bool upwards) {
  // The window steps from the contrast it was last told; here it is asked first.
  if (!readBack({ControlSetting::Contrast})) {
    return failure(ExitCode::Failed, QStringLiteral("the monitor did not report its contrast; nothing was changed"));
  }
  view_->clearReport(ControlSetting::Contrast);
  auto sent = std::make_shared<bool>(false);
  utlsPorts_->runPacedSequence({
      {[this, upwards, sent] {
         log(upwards ? "setFromThresholdShortCutValue currentThresholdValue = %d"
                     : "setFromThresholdDownShortCutValue currentThresholdValue = %d",
             currentThresholdValue);
         currentThresholdValue = protocol::contrastStep(currentThresholdValue, upwards);
         *sent = utlsPorts_->sendCommand(kSetContrast, currentThresholdValue + 1);
       },
       kSpacingMs},
      {[this] { utlsPorts_->sendCommand(kReadParameter, settingRange(ControlSetting::Contrast).identifier); }, 0},
  });
  // The answer only confirms; the step counts once its frame is out.
  waitUntil([this] { return view_->reported(ControlSetting::Contrast); }, 2 * kSpacingMs + timing_.reportWindowMs);
  if (!*sent) return notSent();
  return {};
}

StatusValues DirectSession::statusValues() const {
  const ControlSnapshot now = ControlSnapshot::capture();
  StatusValues v;
  v.source = QStringLiteral("direct");
  v.monitors = now.monitorNames();
  v.current = now.currentMonitorName();
  v.ports = now.ports;
  v.autoClear = storedRefreshSettings(PreferenceStore::standard());
  if (now.mcuVersion != 0) v.mcuVersion = now.mcuVersion;
  auto take = [this](ControlSetting setting, std::int32_t value) {
    return view_->reported(setting) ? std::optional<std::int32_t>(value) : std::nullopt;
  };
  v.contrast = take(ControlSetting::Contrast, now.contrast);
  v.imageMode = take(ControlSetting::ImageMode, now.imageMode);
  v.refreshSpeed = take(ControlSetting::RefreshSpeed, now.refreshSpeed);
  if (now.hasFrontLight()) {
    v.frontLightMode = take(ControlSetting::FrontLightMode, now.frontLightMode);
    v.brightness = take(ControlSetting::Brightness, now.brightness);
    v.temperature = take(ControlSetting::Temperature, now.temperature);
  }
  return v;
}

CtlOutcome DirectSession::report(const CtlRequest& request) {
  CtlOutcome outcome;
  if (request.command == CtlCommand::Monitors) {
    StatusValues values = statusValues();
    values.adapter = rememberedMonitorAdapter(PreferenceStore::standard());
    outcome.output = request.json ? QString::fromUtf8(monitorsJson(values)) : monitorsText(values);
    return outcome;
  }
  // The window's full read-back: contrast, image mode, refresh speed, and the
  // front light's mode, brightness and temperature on monitors that have one.
  readBack(readBackFor(currentMCUVersion));
  const StatusValues values = statusValues();
  const bool anything = values.contrast || values.imageMode || values.refreshSpeed || values.frontLightMode ||
                        values.brightness || values.temperature;
  if (!anything) return failure(ExitCode::Failed, QStringLiteral("the monitor did not report its settings"));
  outcome.output = request.json ? QString::fromUtf8(statusJson(values)) : statusText(values);
  return outcome;
}

}  // namespace ostrel::ctl
