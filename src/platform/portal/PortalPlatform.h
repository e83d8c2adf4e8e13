#pragma once
// The portal backends of Ostrel's platform interfaces, for Wayland sessions.
//
// Each factory asks the portal (org.freedesktop.portal.Desktop on the session
// bus) for its interface's version first and returns null with a reason a
// person can act on when the desktop does not offer it (no session bus, no
// portal, a portal without that interface); nothing is asked of the user here.
//
// registerWithPortal() gives the portal Ostrel's application id where it has a
// host registry (xdg-desktop-portal 1.19.4 and later); it must come before any
// other portal call of the process (a second call for the same id does
// nothing), and its absence is no fault. A registry
// that refuses the id (it finds no desktop entry of that name) is logged once:
// GNOME then binds no shortcuts.
//
// Main thread, after the QCoreApplication (or QApplication) exists: answers
// and signals arrive on the main thread's event loop.

#include "platform/GlobalKeyMonitor.h"
#include "platform/InputInjector.h"

#include <QDBusConnection>
#include <QString>
#include <memory>

namespace ostrel::platform {

void registerWithPortal(const QDBusConnection& bus, const QString& applicationId);

std::unique_ptr<GlobalKeyMonitor> createPortalGlobalKeyMonitor(const QDBusConnection& bus, QString* whyNot);
std::unique_ptr<InputInjector> createPortalInputInjector(const QDBusConnection& bus, QString* whyNot);

}  // namespace ostrel::platform
