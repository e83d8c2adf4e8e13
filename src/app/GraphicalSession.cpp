#include "app/GraphicalSession.h"

#include "platform/x11/X11Platform.h"

#include <QDir>
#include <QFileInfo>

namespace ostrel {
namespace {

// The compositor's socket that $WAYLAND_DISPLAY names, or why there is none.
bool waylandSocketPresent(QString* whyNot) {
  const QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) {
    *whyNot = QStringLiteral("WAYLAND_DISPLAY is not set");
    return false;
  }
  QString path = display;
  if (!QDir::isAbsolutePath(display)) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) {
      *whyNot = QStringLiteral("WAYLAND_DISPLAY is set, but XDG_RUNTIME_DIR, where its socket lives, is not");
      return false;
    }
    path = runtime + u'/' + display;
  }
  // A compositor's socket is neither a directory nor a regular file.
  const QFileInfo socket(path);
  if (socket.exists() && !socket.isDir() && !socket.isFile()) return true;
  *whyNot = QStringLiteral("no Wayland compositor at %1").arg(path);
  return false;
}

}  // namespace

std::optional<QString> missingGraphicalSession(const QStringList& arguments) {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return std::nullopt;
  if (arguments.contains(QLatin1String("-platform")) || arguments.contains(QLatin1String("--platform")))
    return std::nullopt;
  QString noX11;
  if (platform::x11SessionAvailable(&noX11)) return std::nullopt;
  QString noWayland;
  if (waylandSocketPresent(&noWayland)) return std::nullopt;
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    return QStringLiteral(
        "ostrel: Ostrel needs a graphical session (X11 or Wayland), and neither DISPLAY nor WAYLAND_DISPLAY is "
        "set\n");
  }
  return QStringLiteral("ostrel: Ostrel needs a graphical session (X11 or Wayland): %1; %2\n").arg(noX11, noWayland);
}

}  // namespace ostrel
