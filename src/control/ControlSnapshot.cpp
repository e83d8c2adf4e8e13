#include "control/ControlSnapshot.h"

#include "common/AutoClearStatus.h"
#include "common/DesktopServices.h"
#include "control/ControlProtocol.h"
#include "monitor/MonitorState.h"

#include <QDBusMetaType>

namespace ostrel {

const QString ControlPropertyMonitors = QStringLiteral("Monitors");
const QString ControlPropertyCurrentMonitor = QStringLiteral("CurrentMonitor");
const QString ControlPropertyMCUVersion = QStringLiteral("MCUVersion");
const QString ControlPropertyContrast = QStringLiteral("Contrast");
const QString ControlPropertyImageMode = QStringLiteral("ImageMode");
const QString ControlPropertyRefreshSpeed = QStringLiteral("RefreshSpeed");
const QString ControlPropertyFrontLightMode = QStringLiteral("FrontLightMode");
const QString ControlPropertyBrightness = QStringLiteral("Brightness");
const QString ControlPropertyTemperature = QStringLiteral("Temperature");
const QString ControlPropertyDesktopServices = QStringLiteral("DesktopServices");
const QString ControlPropertyPortReasons = QStringLiteral("PortReasons");
const QString ControlPropertyAutoClear = QStringLiteral("AutoClear");

ControlSnapshot ControlSnapshot::capture() {
  ControlSnapshot s;
  if (caluPortsArr) s.monitors = *caluPortsArr;
  s.current = currentPort.load();
  s.currentOpen = s.current && s.current->isOpen();
  s.mcuVersion = currentMCUVersion;
  // MonitorState keeps list positions; callers think in the monitor's values.
  s.contrast = currentThresholdValue + 1;
  s.imageMode = currentModeValue + 2;
  s.refreshSpeed = currentSpeedValue + 1;
  s.frontLightMode = currentFrontLightModeValue;
  s.brightness = currentFrontBrightnessValue;
  s.temperature = currentFrontTemperatureValue;
  s.desktopServices = DesktopServices::shared().properties();
  s.autoClear = AutoClearStatus::shared().properties();
  s.ports = portProbeReports;
  return s;
}

bool ControlSnapshot::hasFrontLight() const {
  return mcuVersion == kFrontLightMCUVersion;
}

QStringList ControlSnapshot::monitorNames() const {
  QStringList names;
  for (const PelSerialPortRef& port : monitors) names << (port ? port->name() : QString());
  return names;
}

QString ControlSnapshot::currentMonitorName() const {
  return monitorReady() ? current->name() : QString();
}

QVariantMap ControlSnapshot::properties() const {
  return {
      {ControlPropertyMonitors, monitorNames()},
      {ControlPropertyCurrentMonitor, currentMonitorName()},
      {ControlPropertyMCUVersion, mcuVersion},
      {ControlPropertyContrast, contrast},
      {ControlPropertyImageMode, imageMode},
      {ControlPropertyRefreshSpeed, refreshSpeed},
      {ControlPropertyFrontLightMode, frontLightMode},
      {ControlPropertyBrightness, brightness},
      {ControlPropertyTemperature, temperature},
      {ControlPropertyDesktopServices, desktopServices},
      {ControlPropertyPortReasons, QVariant::fromValue(ports)},
      {ControlPropertyAutoClear, autoClear},
  };
}

bool ControlSnapshot::operator==(const ControlSnapshot& o) const {
  // Ports compare as objects: a monitor that left and came back as a new port
  // object is a change worth announcing even under the same name.
  return monitors == o.monitors && current == o.current && currentOpen == o.currentOpen && mcuVersion == o.mcuVersion &&
         contrast == o.contrast && imageMode == o.imageMode && refreshSpeed == o.refreshSpeed &&
         frontLightMode == o.frontLightMode && brightness == o.brightness && temperature == o.temperature &&
         desktopServices == o.desktopServices && ports == o.ports && autoClear == o.autoClear;
}

QVariantMap changedProperties(const ControlSnapshot& before, const ControlSnapshot& after) {
  const QVariantMap a = before.properties();
  const QVariantMap b = after.properties();
  QVariantMap changed;
  for (auto it = b.cbegin(); it != b.cend(); ++it) {
    if (a.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
  }
  return changed;
}

void registerControlTypes() {
  static const bool registered = [] {
    qDBusRegisterMetaType<PortProbeReport>();
    qDBusRegisterMetaType<QList<PortProbeReport>>();
    return true;
  }();
  (void)registered;
}

QDBusArgument& operator<<(QDBusArgument& argument, const PortProbeReport& report) {
  argument.beginStructure();
  argument << report.name << report.path << report.reason;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortProbeReport& report) {
  argument.beginStructure();
  argument >> report.name >> report.path >> report.reason;
  argument.endStructure();
  return argument;
}

bool operator==(const PortProbeReport& a, const PortProbeReport& b) {
  return a.name == b.name && a.path == b.path && a.reason == b.reason;
}

}  // namespace ostrel
