#pragma once
// The process-wide record of the attached monitor, and the references through
// which the reply decoder reaches the main window and keeps its delegate alive.
//
// Threads: everything here belongs to the main thread, except currentPort, which
// the command encoder also reads from the auto-clear timer's thread (hence its
// load()/store()).
//
// The setting fields hold list positions as the main window orders its lists,
// not the monitor's raw values; the main window's display handlers write them.
// currentMCUVersion is 0 until a monitor answered, then 16, 32 or 48, and is
// never reset.

#include "monitor/AtomicPortReference.h"
#include "serial/PelSerialPortInterface.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <memory>

namespace ostrel {

class ViewControllerInterface;
class PelSerialPortHelper;

extern std::int32_t currentThresholdValue;
extern std::int32_t currentModeValue;
extern std::int32_t currentSpeedValue;
extern std::int32_t currentFrontLightModeValue;
extern std::int32_t currentFrontBrightnessValue;
extern std::int32_t currentFrontTemperatureValue;
extern std::int32_t currentMCUVersion;

// The ports accepted as monitors, in the order their reports arrived (a port may
// appear twice). After startPinAvailablePorts() this is the very list object the
// main window shows as availablePortsmutableArr. Never null.
extern std::shared_ptr<QList<PelSerialPortRef>> caluPortsArr;

// The port that commands go to. Empty at start.
extern AtomicPortReference currentPort;

// The main window, as the decoder and discovery see it. Empty until
// startPinAvailablePorts().
extern std::shared_ptr<ViewControllerInterface> mainViewController;

// Ports hold their delegate weakly; this keeps the current one alive.
extern std::shared_ptr<PelSerialPortHelper> serialPortHelper;

// What the last discovery pass did with each port it listed, in its order.
struct PortProbeReport {
  QString name;
  QString path;
  QString reason;  // one of the texts below
};
extern QList<PortProbeReport> portProbeReports;

namespace probereason {
inline const QString probed = QStringLiteral("probed");
inline const QString leftAlone = QStringLiteral("left alone: a monitor is known");
inline const QString unanswered = QStringLiteral("unanswered");
inline const QString cannotBeOpened = QStringLiteral("cannot be opened");
inline const QString inUsePrefix = QStringLiteral("in use by ");  // + "PID NAME", several joined by ", "
}  // namespace probereason

}  // namespace ostrel
