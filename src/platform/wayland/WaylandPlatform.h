#pragma once
// The Wayland client backends of Ostrel's platform interfaces, for compositors
// that offer the protocols to any client (sway and the other wlroots
// compositors). Each opens a connection of its own to $WAYLAND_DISPLAY, so
// none depends on Qt's platform plugin.
//
// Every factory returns null with a reason a person can act on when the
// compositor cannot provide the service (no compositor, a missing protocol);
// nothing is asked of the user.
//
// Main thread, after the QCoreApplication (or QApplication) exists: the
// connections are read there. The injector may then be used from any thread;
// the idle monitor from the main thread.

#include "platform/IdleMonitor.h"
#include "platform/InputInjector.h"

#include <QString>
#include <memory>

namespace ostrel::platform {

// The monitor's keys and pointer through zwp_virtual_keyboard_v1 and
// zwlr_virtual_pointer_v1.
std::unique_ptr<InputInjector> createWaylandInputInjector(QString* whyNot);

// Idle time through ext_idle_notifier_v1.
std::unique_ptr<IdleMonitor> createWaylandIdleMonitor(QString* whyNot);

}  // namespace ostrel::platform
