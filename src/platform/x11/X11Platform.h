#pragma once
// The X11 backends of Ostrel's platform interfaces. Each backend opens its own
// connection to $DISPLAY, so none of them depends on Qt's platform plugin.
//
// Every factory returns null with a reason a person can act on when the session
// cannot provide the service (no DISPLAY, no server answering, a missing
// extension), and never crashes for lack of an X server.
//
// The key monitor and the hotkey service deliver on the main thread: create them
// on it, after the QCoreApplication (or QApplication) exists. The injector may be
// used from any thread; the keyboard layout from the main thread.

#include "platform/GlobalKeyMonitor.h"
#include "platform/HotKeyService.h"
#include "platform/IdleMonitor.h"
#include "platform/InputInjector.h"
#include "platform/KeyboardLayout.h"

#include <QString>
#include <memory>

namespace ostrel::platform {

// True when DISPLAY is set and an X server answers there.
bool x11SessionAvailable(QString* whyNot);

std::unique_ptr<InputInjector> createX11InputInjector(QString* whyNot);
std::unique_ptr<GlobalKeyMonitor> createX11GlobalKeyMonitor(QString* whyNot);
std::unique_ptr<HotKeyService> createX11HotKeyService(QString* whyNot);
std::unique_ptr<KeyboardLayout> createX11KeyboardLayout(QString* whyNot);
// The X server's idle time (MIT-SCREEN-SAVER). Main thread.
std::unique_ptr<IdleMonitor> createX11IdleMonitor(QString* whyNot);

}  // namespace ostrel::platform
