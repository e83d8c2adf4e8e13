#pragma once
// What tells Auto Clear that nobody is at the session, chosen once at start:
// the first source in each list below that answers, given the kind of
// session. Sources that are told of changes come before those that must be
// asked, so that an idle check costs nothing while the user works.
//
//  idle time: GNOME Shell's org.gnome.Mutter.IdleMonitor (told), the X
//             server's MIT-SCREEN-SAVER in an X11 session (asked at each tick;
//             under Xwayland it would see X clients only), the desktop's
//             org.freedesktop.ScreenSaver (asked; Plasma on X11)
//  lock:      logind's LockedHint of Ostrel's session, else the desktop's
//             screensaver ActiveChanged (org.freedesktop.ScreenSaver, then
//             GNOME Shell's org.gnome.ScreenSaver)
//
// Each list is a table in IdleSourceChooser.cpp: one more backend is one line.
// Where nothing answers, the reasons of every candidate are kept for the
// status. Main thread, after the QApplication exists.

#include "app/PlatformServices.h"
#include "mainwindow/AutoClearRest.h"

namespace ostrel {

IdleSources chooseIdleSources(SessionKind kind);

}  // namespace ostrel
