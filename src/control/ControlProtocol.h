#pragma once
// What Ostrel and ostrelctl agree on over the session bus: the names, the
// error names, and the accepted range of every value a caller can set.
//
// Both sides check a value against the same table, so ostrelctl refuses a bad
// value before it bothers Ostrel, and a caller that goes round ostrelctl
// (gdbus, busctl, a script of its own) gets the same refusal from Ostrel.
//
// Ranges are the monitor's own values, not the window's list positions:
// contrast 1..9, image mode 2..4 (2 text, 3 graphic, 4 video), refresh speed
// 1..5, front light mode 0..3 (off, cold, warm, mixed), brightness and colour
// temperature 0..100.

#include "monitor/MonitorProtocol.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace ostrel {

extern const QString OstrelBusServiceName;    // "VELDOR.Ostrel"
extern const QString OstrelBusObjectPath;     // "/VELDOR/Ostrel"
extern const QString OstrelBusInterfaceName;  // "VELDOR.Ostrel1"

// A value outside its range; the message names the range. Nothing was sent.
extern const QString OstrelBusErrorOutOfRange;  // "VELDOR.Ostrel1.Error.OutOfRange"
// No monitor is connected (or the current one has gone). Nothing was sent.
extern const QString OstrelBusErrorNoMonitor;  // "VELDOR.Ostrel1.Error.NoMonitor"
// The connected monitor has no such control (front light below MCU version 48).
extern const QString OstrelBusErrorNotSupported;  // "VELDOR.Ostrel1.Error.NotSupported"
// The monitor's line did not take the command (it failed or stalled past its
// bound); the frame was dropped.
extern const QString OstrelBusErrorWriteFailed;  // "VELDOR.Ostrel1.Error.WriteFailed"

// Ostrel is still starting and cannot take the request yet. Nothing changed.
extern const QString OstrelBusErrorNotReady;  // "VELDOR.Ostrel1.Error.NotReady"

// Start at login could not be switched as asked; the message says why.
extern const QString OstrelBusErrorStartAtLoginFailed;  // "VELDOR.Ostrel1.Error.StartAtLoginFailed"

// The settings a caller can set, with their ranges: the monitor's own table
// (monitor/MonitorProtocol.h), so the bus, ostrelctl and the reply decoder
// agree on every number.
using ControlSetting = protocol::MonitorSetting;
using ControlSettingRange = protocol::SettingRange;

const ControlSettingRange& controlSettingRange(ControlSetting setting);

// Nothing when `value` is accepted; otherwise the refusal, e.g.
// "contrast must be 1..9, not 12".
std::optional<QString> refuseOutOfRange(ControlSetting setting, std::int64_t value);

// "Refresh every N page turns": N within 0..99 (0 turns it off). Nothing when
// `pageTurns` is accepted; otherwise the refusal, e.g. "page refresh must be
// 0..99, not 120".
std::optional<QString> refusePageRefresh(std::int64_t pageTurns);

// The only MCU version whose monitors have a front light.
using protocol::kFrontLightMCUVersion;

// Names of the image modes (2, 3, 4) and front light modes (0..3) as ostrelctl
// takes and prints them; the refresh speeds' names (1..5) as the window shows them.
const QStringList& imageModeNames();       // text, graphic, video
const QStringList& frontLightModeNames();  // off, cold, warm, mixed
const QStringList& refreshSpeedNames();    // Fast .. Fast++++
// The name of a value, or an empty string for a value without one.
QString imageModeName(std::int32_t mode);
QString frontLightModeName(std::int32_t mode);
QString refreshSpeedName(std::int32_t speed);

}  // namespace ostrel
