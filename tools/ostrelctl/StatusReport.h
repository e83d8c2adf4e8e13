#pragma once
// What `status`, `read` and `monitors` print, as text for people or as JSON
// for scripts. Both come from the same values; a value the monitor has not
// reported is left out of the text and is null in JSON.
//
// JSON (one object):
//   source          "ostrel" (asked the running Ostrel) or "direct"
//   monitors        names of the monitors found, the one in use first
//   current         the monitor in use, or null
//   mcuVersion      16, 32 or 48; null when unknown
//   contrast, imageMode, refreshSpeed            numbers, or null
//   imageModeName ("text"...), refreshSpeedName ("Fast"...)
//   frontLightMode, frontLightModeName, brightness, temperature
//                   null unless the monitor has a front light (MCU version 48)
//   desktop         what serves Ostrel's global shortcuts and the monitor's
//                   input (null when Ostrel did not answer):
//                   { "shortcuts": { "backend": "x11"|"portal"|"gnome"|null,
//                       "detail", "todo" (what the user must do, or null),
//                       "binding": "asking"|"bound"|"declined"|"failed"|null,
//                       "changedByDesktop": n,
//                       "awaitingConfirmation": true while the desktop's
//                                   dialog about them is open,
//                       "keys": [ { "id", "preferred", "assigned" (null: no
//                                   key), "asRecorded" } ] },
//                     "input": { "backend", "detail", "todo",
//                                "awaitingConfirmation" },
//                     "ownKeybindings": "gnome"|"sway"|"hyprland"|"i3"|null }
//   autoClear       when Ostrel refreshes by itself:
//                   { "period": seconds, or null while the timer is off,
//                     "pauseWhileIdle": bool, "pageRefresh": N (0: never),
//                     "resting": bool, null without Ostrel,
//                     "reason": why it rests, or why it cannot tell; null,
//                     "idle", "lock": { "backend" (null: none), "detail" },
//                               null without Ostrel }
// The text form adds the same as lines after the monitor's.
//
// `monitors --json` prints source, monitors, current and
//   ports           every serial port discovery listed, in its order, as
//                   {"name", "path", "discovery"}: "probed", "in use by PID
//                   NAME", "left alone: a monitor is known", "unanswered" or
//                   "cannot be opened"

#include "control/ControlSnapshot.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <cstdint>
#include <optional>

namespace ostrel::ctl {

struct StatusValues {
  QString source;  // "ostrel" or "direct"
  QStringList monitors;
  QString current;  // empty: no monitor in use
  std::optional<std::int32_t> mcuVersion;
  std::optional<std::int32_t> contrast;
  std::optional<std::int32_t> imageMode;
  std::optional<std::int32_t> refreshSpeed;
  std::optional<std::int32_t> frontLightMode;
  std::optional<std::int32_t> brightness;
  std::optional<std::int32_t> temperature;
  QVariantMap desktop;  // DesktopServices' bus form; empty when unknown
  // AutoClearStatus' bus form; from the settings file (no Resting, no
  // sources) without Ostrel.
  QVariantMap autoClear;
  QList<PortProbeReport> ports;
  // The adapter the monitor was last found on, asked first at every search
  // ("usb:VID:PID:SERIAL" or "path:..."); empty when none is remembered.
  QString adapter;

  bool hasMonitor() const { return !current.isEmpty(); }

  // From the bus properties of the running Ostrel (ControlSnapshot's names).
  static StatusValues fromBusProperties(const QVariantMap& properties);
};

QString statusText(const StatusValues& values);
QByteArray statusJson(const StatusValues& values);

// What the user must do for the shortcuts, or the monitor's input, to work
// (keybindings/UserSteps.h), as a sentence; empty for nothing.
QString shortcutsTodo(const QVariantMap& desktopServices);
QString inputTodo(const QVariantMap& desktopServices);

QString monitorsText(const StatusValues& values);
QByteArray monitorsJson(const StatusValues& values);

}  // namespace ostrel::ctl
