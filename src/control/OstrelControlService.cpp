#include "control/OstrelControlService.h"

#include "common/Log.h"
#include "common/Version.h"
#include "control/MonitorControlTarget.h"

#include <QAbstractEventDispatcher>
#include <QDBusMessage>
#include <QThread>

namespace ostrel {
namespace {

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QString writeFailedText() {
  return QStringLiteral(
      "the monitor's serial line did not take the command (it failed or stalled); the command was "
      "dropped");
}

}  // namespace

QString OstrelControlService::caller() const {
  return calledFromDBus() ? message().service() : QStringLiteral("(this process)");
}

OstrelControlService::OstrelControlService(QObject* parent) : QObject(parent) {
  registerControlTypes();
}

OstrelControlService::~OstrelControlService() {
  unpublish();
}

void OstrelControlService::setTarget(std::shared_ptr<MonitorControlTarget> target) {
  target_ = std::move(target);
  if (target_ && activationPending_) {
    activationPending_ = false;
    target_->activate();
  }
}

bool OstrelControlService::publish(const QDBusConnection& connection) {
  unpublish();
  QDBusConnection bus = connection;
  if (!bus.registerObject(OstrelBusObjectPath, this,
                          QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableProperties)) {
    log("Could not publish %@ on the session bus: %@", OstrelBusObjectPath, bus.lastError().message());
    return false;
  }
  connection_ = bus;
  announced_ = ControlSnapshot::capture();
  // Every change to MonitorState happens in some event handler on the main
  // thread; comparing once the loop has nothing left to do catches them all
  // without a polling timer waking an idle desktop.
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread())) {
    idleHook_ =
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &OstrelControlService::announceChanges);
  }
  return true;
}

void OstrelControlService::unpublish() {
  if (!connection_) return;
  disconnect(idleHook_);
  connection_->unregisterObject(OstrelBusObjectPath);
  connection_.reset();
}

void OstrelControlService::announceChanges() {
  if (!connection_) return;
  ControlSnapshot now = ControlSnapshot::capture();
  if (now == announced_) return;
  const QVariantMap changed = changedProperties(announced_, now);
  announced_ = std::move(now);
  if (changed.isEmpty()) return;
  QDBusMessage signal =
      QDBusMessage::createSignal(OstrelBusObjectPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"));
  signal << OstrelBusInterfaceName << changed << QStringList();
  connection_->send(signal);
}

QStringList OstrelControlService::monitors() const {
  return ControlSnapshot::capture().monitorNames();
}
QString OstrelControlService::currentMonitor() const {
  return ControlSnapshot::capture().currentMonitorName();
}
int OstrelControlService::mcuVersion() const {
  return ControlSnapshot::capture().mcuVersion;
}
int OstrelControlService::contrast() const {
  return ControlSnapshot::capture().contrast;
}
int OstrelControlService::imageMode() const {
  return ControlSnapshot::capture().imageMode;
}
int OstrelControlService::refreshSpeed() const {
  return ControlSnapshot::capture().refreshSpeed;
}
int OstrelControlService::frontLightMode() const {
  return ControlSnapshot::capture().frontLightMode;
}
int OstrelControlService::brightness() const {
  return ControlSnapshot::capture().brightness;
}
int OstrelControlService::temperature() const {
  return ControlSnapshot::capture().temperature;
}
QVariantMap OstrelControlService::desktopServices() const {
  return ControlSnapshot::capture().desktopServices;
}
QVariantMap OstrelControlService::autoClear() const {
  return ControlSnapshot::capture().autoClear;
}
QList<PortProbeReport> OstrelControlService::portReasons() const {
  return ControlSnapshot::capture().ports;
}

bool OstrelControlService::admit(const char* method, std::optional<ControlSetting> setting, std::int64_t value) {
  if (setting) {
    if (const std::optional<QString> refusal = refuseOutOfRange(*setting, value)) {
      refuse(method, OstrelBusErrorOutOfRange, *refusal + QStringLiteral("; nothing was sent"));
      return false;
    }
  }
  const ControlSnapshot now = ControlSnapshot::capture();
  if (!target_) {
    refuse(method, OstrelBusErrorNoMonitor, QStringLiteral("Ostrel is still starting; nothing was sent"));
    return false;
  }
  if (!now.monitorReady()) {
    refuse(method, OstrelBusErrorNoMonitor, QStringLiteral("no monitor is connected; nothing was sent"));
    return false;
  }
  if (setting && controlSettingRange(*setting).needsFrontLight && !now.hasFrontLight()) {
    refuse(method, OstrelBusErrorNotSupported,
           QStringLiteral("the monitor %1 (MCU version %2) has no front light; nothing was sent")
               .arg(now.currentMonitorName())
               .arg(now.mcuVersion));
    return false;
  }
  if (setting) {
    log("Bus request %s %lld from %@", method, static_cast<long long>(value), caller());
  } else {
    log("Bus request %s from %@", method, caller());
  }
  return true;
}

void OstrelControlService::refuse(const char* method, const QString& errorName, const QString& text) {
  log("Bus request %s from %@ refused: %@", method, caller(), text);
  if (calledFromDBus()) sendErrorReply(errorName, text);
}

void OstrelControlService::replyWhenCommandsSent(const char* method, std::uint64_t failedBefore) {
  if (!calledFromDBus()) return;
  setDelayedReply(true);
  QDBusMessage request = message();
  QDBusConnection bus = connection();
  std::weak_ptr<MonitorControlTarget> target = target_;
  target_->whenCommandsSent([bus, request, target, method, failedBefore]() mutable {
    const auto t = target.lock();
    if (t && t->failedWrites() != failedBefore) {
      log("Bus request %s refused: %@", method, writeFailedText());
      bus.send(request.createErrorReply(OstrelBusErrorWriteFailed, writeFailedText()));
      return;
    }
    bus.send(request.createReply());
  });
}

bool OstrelControlService::reached(const char* method, std::uint64_t failedBefore) {
  if (target_->failedWrites() == failedBefore) return true;
  refuse(method, OstrelBusErrorWriteFailed, writeFailedText());
  return false;
}

// Each request that sends at once says whether its frame reached the monitor;
// the paced ones say so when their last frame has gone out.

void OstrelControlService::Refresh() {
  if (!admit("Refresh")) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->refresh();
  reached("Refresh", failed);
}

void OstrelControlService::ContrastUp() {
  if (!admit("ContrastUp")) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->contrastUp();
  replyWhenCommandsSent("ContrastUp", failed);
}

void OstrelControlService::ContrastDown() {
  if (!admit("ContrastDown")) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->contrastDown();
  replyWhenCommandsSent("ContrastDown", failed);
}

void OstrelControlService::SetContrast(int contrast) {
  if (!admit("SetContrast", ControlSetting::Contrast, contrast)) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->setContrast(contrast);
  reached("SetContrast", failed);
}

void OstrelControlService::SetImageMode(int mode) {
  if (!admit("SetImageMode", ControlSetting::ImageMode, mode)) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->setImageMode(mode);
  reached("SetImageMode", failed);
}

void OstrelControlService::SetRefreshSpeed(int speed) {
  if (!admit("SetRefreshSpeed", ControlSetting::RefreshSpeed, speed)) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->setRefreshSpeed(speed);
  reached("SetRefreshSpeed", failed);
}

void OstrelControlService::SetFrontLightMode(int mode) {
  if (!admit("SetFrontLightMode", ControlSetting::FrontLightMode, mode)) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->setFrontLightMode(mode);
  reached("SetFrontLightMode", failed);
}

void OstrelControlService::SetBrightness(int brightness) {
  if (!admit("SetBrightness", ControlSetting::Brightness, brightness)) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->setBrightness(brightness);
  reached("SetBrightness", failed);
}

void OstrelControlService::SetTemperature(int temperature) {
  if (!admit("SetTemperature", ControlSetting::Temperature, temperature)) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->setTemperature(temperature);
  reached("SetTemperature", failed);
}

void OstrelControlService::SyncTime() {
  if (!admit("SyncTime")) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->syncTime();
  reached("SyncTime", failed);
}

void OstrelControlService::ReadParameters() {
  if (!admit("ReadParameters")) return;
  const std::uint64_t failed = target_->failedWrites();
  target_->readParameters();
  replyWhenCommandsSent("ReadParameters", failed);
}

void OstrelControlService::Activate() {
  log("Bus request Activate from %@", caller());
  if (target_) {
    target_->activate();
  } else {
    activationPending_ = true;
  }
}

}  // namespace ostrel

namespace ostrel {

void OstrelControlService::setStartAtLoginSwitch(StartAtLoginSwitch startAtLogin) {
  startAtLogin_ = std::move(startAtLogin);
}

QString OstrelControlService::version() const {
  return QString::fromLatin1(kOstrelVersion);
}

bool OstrelControlService::startAtLogin() const {
  return startAtLogin_ && startAtLogin_->isOn();
}

void OstrelControlService::SetStartAtLogin(bool startAtLogin) {
  log("Bus request SetStartAtLogin %d from %@", startAtLogin ? 1 : 0, caller());
  if (!startAtLogin_) {
    refuse("SetStartAtLogin", OstrelBusErrorStartAtLoginFailed,
           QStringLiteral("start at login is not available in this Ostrel"));
    return;
  }
  const StartAtLoginSwitch::Outcome outcome = startAtLogin_->setOn(startAtLogin);
  if (!outcome.succeeded()) refuse("SetStartAtLogin", OstrelBusErrorStartAtLoginFailed, outcome.error);
}

}  // namespace ostrel

namespace ostrel {

void OstrelControlService::setRefreshSettingsTarget(std::shared_ptr<RefreshSettingsTarget> target) {
  refreshSettings_ = std::move(target);
}

void OstrelControlService::SetPauseWhileIdle(bool on) {
  if (!refreshSettings_) {
    refuse("SetPauseWhileIdle", OstrelBusErrorNotReady,
           QStringLiteral("Ostrel is still starting; nothing was changed"));
    return;
  }
  log("Bus request SetPauseWhileIdle %d from %@", on ? 1 : 0, caller());
  refreshSettings_->setPauseWhileIdle(on);
}

void OstrelControlService::SetPageRefresh(int pageTurns) {
  if (const std::optional<QString> refusal = refusePageRefresh(pageTurns)) {
    refuse("SetPageRefresh", OstrelBusErrorOutOfRange, *refusal + QStringLiteral("; nothing was changed"));
    return;
  }
  if (!refreshSettings_) {
    refuse("SetPageRefresh", OstrelBusErrorNotReady, QStringLiteral("Ostrel is still starting; nothing was changed"));
    return;
  }
  log("Bus request SetPageRefresh %d from %@", pageTurns, caller());
  refreshSettings_->setPageRefresh(pageTurns);
}

}  // namespace ostrel
