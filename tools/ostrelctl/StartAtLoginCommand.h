#pragma once
// `ostrelctl autostart on|off|status`: the "Start at Login" item of Ostrel's
// menus from the command line. Through the running Ostrel (its StartAtLogin
// property and SetStartAtLogin method), so that the switch is the running
// program's own; without Ostrel, directly on the user's autostart list for the
// Ostrel installed beside ostrelctl. Needs no monitor.
//
// Outcomes: status prints "on" or "off" (exit 0); on and off print nothing
// (exit 0), or say why start at login could not be switched (exit 1).

#include "ostrelctl/CtlRequest.h"

#include <QDBusConnection>
#include <optional>

namespace ostrel::ctl {

bool isStartAtLoginCommand(CtlCommand command);

// Nothing when no Ostrel owns the bus name (or there is no session bus).
std::optional<CtlOutcome> startAtLoginThroughOstrel(QDBusConnection bus, const CtlRequest& request);

// `mainExecutable`: the Ostrel whose start at login is switched.
CtlOutcome startAtLoginDirectly(const QString& mainExecutable, const CtlRequest& request);

}  // namespace ostrel::ctl
