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

}  // namespace

QString OstrelControlService::caller() const {
  return calledFromDBus() ? message().service() : QStringLiteral("(this process)");
}

OstrelControlService::OstrelControlService(QObject* parent) : QObject(parent) {}

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

void OstrelControlService::replyWhenCommandsSent() {
  if (!calledFromDBus()) return;
  setDelayedReply(true);
  QDBusMessage reply = message().createReply();
  QDBusConnection bus = connection();
  target_->whenCommandsSent([bus, reply]() mutable { bus.send(reply); });
}

void OstrelControlService::Refresh() {
  if (admit("Refresh")) target_->refresh();
}

void OstrelControlService::ContrastUp() {
  if (!admit("ContrastUp")) return;
  target_->contrastUp();
  replyWhenCommandsSent();
}

void OstrelControlService::ContrastDown() {
  if (!admit("ContrastDown")) return;
  target_->contrastDown();
  replyWhenCommandsSent();
}

void OstrelControlService::SetContrast(int contrast) {
  if (admit("SetContrast", ControlSetting::Contrast, contrast)) target_->setContrast(contrast);
}

void OstrelControlService::SetImageMode(int mode) {
  if (admit("SetImageMode", ControlSetting::ImageMode, mode)) target_->setImageMode(mode);
}

void OstrelControlService::SetRefreshSpeed(int speed) {
  if (admit("SetRefreshSpeed", ControlSetting::RefreshSpeed, speed)) target_->setRefreshSpeed(speed);
}

void OstrelControlService::SetFrontLightMode(int mode) {
  if (admit("SetFrontLightMode", ControlSetting::FrontLightMode, mode)) target_->setFrontLightMode(mode);
}

void OstrelControlService::SetBrightness(int brightness) {
  if (admit("SetBrightness", ControlSetting::Brightness, brightness)) target_->setBrightness(brightness);
}

void OstrelControlService::SetTemperature(int temperature) {
  if (admit("SetTemperature", ControlSetting::Temperature, temperature)) target_->setTemperature(temperature);
}

void OstrelControlService::SyncTime() {
  if (admit("SyncTime")) target_->syncTime();
}

void OstrelControlService::ReadParameters() {
  if (!admit("ReadParameters")) return;
  target_->readParameters();
  replyWhenCommandsSent();
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
