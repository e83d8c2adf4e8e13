#pragma once
// Where a desktop's screensaver interface lives on the session bus. Both
// speak the same methods and signal (GetActive, ActiveChanged, ...).

#include <QDBusMessage>
#include <QString>
#include <QVariantList>

namespace ostrel::platform {

enum class ScreenSaverService {
  Freedesktop,  // org.freedesktop.ScreenSaver at /org/freedesktop/ScreenSaver
  Gnome,        // org.gnome.ScreenSaver at /org/gnome/ScreenSaver
};

namespace screensaver {

struct ScreenSaverAddress {
  QString service;
  QString path;
  QString interface;
};

const ScreenSaverAddress& addressOf(ScreenSaverService service);

// A call that never starts the service: the desktop runs it, or nobody does.
QDBusMessage methodCall(ScreenSaverService service, const QString& method, const QVariantList& arguments = {});

// Why `answer` (an error) says nothing: the service is not on the bus, or what
// it answered. `what`: "does not tell the lock".
QString whyNoAnswer(ScreenSaverService service, const QDBusMessage& answer, const QString& what);

}  // namespace screensaver
}  // namespace ostrel::platform
