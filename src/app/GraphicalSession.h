#pragma once
// Whether Ostrel has a graphical session to show its window in, asked before
// the application object exists: without one, Qt's platform plugin would abort
// with advice to reinstall, which helps nobody who started Ostrel from a text
// console or over ssh.
//
// Contract (missingGraphicalSession):
//  - Nothing (go ahead) when the platform was chosen explicitly (QT_QPA_PLATFORM,
//    or -platform among `arguments`): Qt is then asked for exactly that.
//  - Nothing when an X server answers at $DISPLAY, or the Wayland compositor's
//    socket that $WAYLAND_DISPLAY names is there (relative to $XDG_RUNTIME_DIR
//    unless absolute).
//  - Otherwise the one line to print, starting "ostrel: Ostrel needs a
//    graphical session (X11 or Wayland)" and saying what is missing.

#include <QString>
#include <QStringList>
#include <optional>

namespace ostrel {

// `arguments` without the program name.
std::optional<QString> missingGraphicalSession(const QStringList& arguments);

}  // namespace ostrel
