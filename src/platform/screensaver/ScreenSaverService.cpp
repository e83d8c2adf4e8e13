#include "platform/screensaver/ScreenSaverService.h"

namespace ostrel::platform::screensaver {

const ScreenSaverAddress& addressOf(ScreenSaverService service) {
  static const ScreenSaverAddress freedesktop{QStringLiteral("org.freedesktop.ScreenSaver"),
                                              QStringLiteral("/org/freedesktop/ScreenSaver"),
                                              QStringLiteral("org.freedesktop.ScreenSaver")};
  static const ScreenSaverAddress gnome{QStringLiteral("org.gnome.ScreenSaver"),
                                        QStringLiteral("/org/gnome/ScreenSaver"),
                                        QStringLiteral("org.gnome.ScreenSaver")};
  return service == ScreenSaverService::Gnome ? gnome : freedesktop;
}

QDBusMessage methodCall(ScreenSaverService service, const QString& method, const QVariantList& arguments) {
  const ScreenSaverAddress& a = addressOf(service);
  QDBusMessage message = QDBusMessage::createMethodCall(a.service, a.path, a.interface, method);
  message.setArguments(arguments);
  message.setAutoStartService(false);
  return message;
}

QString whyNoAnswer(ScreenSaverService service, const QDBusMessage& answer, const QString& what) {
  const QString name = addressOf(service).service;
  const QString error = answer.errorName();
  if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
      error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
    return QStringLiteral("%1 is not on the session bus").arg(name);
  }
  if (answer.type() != QDBusMessage::ErrorMessage) return QStringLiteral("%1 %2 (no answer)").arg(name, what);
  return QStringLiteral("%1 %2 (%3: %4)").arg(name, what, error, answer.errorMessage());
}

}  // namespace ostrel::platform::screensaver
