#pragma once
// The monitor as Ostrel knows it at one moment: the accepted monitors, the
// current one, and MonitorState's values turned back into the monitor's own
// numbers (list position + 1 for contrast and refresh speed, + 2 for image
// mode). This is what the bus service publishes as properties and what
// ostrelctl prints.
//
// capture() reads the process-wide MonitorState and DesktopServices, so it
// belongs to the main thread like they do.

#include "monitor/MonitorState.h"
#include "serial/PelSerialPortInterface.h"

#include <QDBusArgument>
#include <QMetaType>

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <cstdint>

namespace ostrel {

// Property names on the bus, in the order they are listed.
extern const QString ControlPropertyMonitors;        // as: accepted monitors, current first
extern const QString ControlPropertyCurrentMonitor;  // s: "" when no open monitor is current
extern const QString ControlPropertyMCUVersion;      // i: 0 until a monitor answered
extern const QString ControlPropertyContrast;        // i: 1..9 (0 after a report of 0)
extern const QString ControlPropertyImageMode;       // i: 2..4
extern const QString ControlPropertyRefreshSpeed;    // i: 1..5
extern const QString ControlPropertyFrontLightMode;  // i: 0..3
extern const QString ControlPropertyBrightness;      // i: 0..100
extern const QString ControlPropertyTemperature;     // i: 0..100
// a{sv}: which backend serves the global shortcuts and the monitor's input and
// the keys the desktop assigned (common/DesktopServices.h, properties()).
extern const QString ControlPropertyDesktopServices;
// a(sss): every serial port the last discovery pass listed, as (name, path,
// what discovery did with it: "probed", "in use by PID NAME", "left alone: a
// monitor is known", "unanswered", "cannot be opened").
extern const QString ControlPropertyPortReasons;
// a{sv}: Auto Clear's period, "Pause while idle", "Refresh every N page turns",
// whether the timer rests now and why, and its idle and lock sources
// (common/AutoClearStatus.h, properties()).
extern const QString ControlPropertyAutoClear;

struct ControlSnapshot {
  QList<PelSerialPortRef> monitors;  // caluPortsArr's entries (same objects)
  PelSerialPortRef current;          // currentPort
  bool currentOpen = false;
  std::int32_t mcuVersion = 0;
  std::int32_t contrast = 0;
  std::int32_t imageMode = 0;
  std::int32_t refreshSpeed = 0;
  std::int32_t frontLightMode = 0;
  std::int32_t brightness = 0;
  std::int32_t temperature = 0;
  QList<PortProbeReport> ports;  // portProbeReports

  // The desktop's services, not the monitor's: DesktopServices::properties().
  QVariantMap desktopServices;
  // Auto Clear and the page-turn refresh: AutoClearStatus::properties().
  QVariantMap autoClear;

  static ControlSnapshot capture();

  // A monitor that commands can reach: the current port exists and is open,
  // which is exactly when the command encoder would send.
  bool monitorReady() const { return current && currentOpen; }
  bool hasFrontLight() const;

  QStringList monitorNames() const;
  QString currentMonitorName() const;
  QVariantMap properties() const;

  bool operator==(const ControlSnapshot& other) const;
};

// The properties whose values differ between two snapshots, with their new values.
QVariantMap changedProperties(const ControlSnapshot& before, const ControlSnapshot& after);

// PortReasons travels as a(sss); both ends register the type before use.
void registerControlTypes();
QDBusArgument& operator<<(QDBusArgument& argument, const PortProbeReport& report);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortProbeReport& report);
bool operator==(const PortProbeReport& a, const PortProbeReport& b);

}  // namespace ostrel

Q_DECLARE_METATYPE(ostrel::PortProbeReport)
