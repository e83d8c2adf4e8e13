#include "platform/screensaver/ScreenSaverService.h"

namespace ostrel::platform::screensaver {

const ScreenSaverAddress& addressOf(ScreenSaverService service) {
  static const ScreenSaverAddress freedesktop{QStringLiteral("org.freedesktop.ScreenSaver"),
                                              QStringLiteral("/org/freedesktop/ScreenSaver"),
                                              QStringLiteral("org.freedesktop.ScreenSaver")};
  static const ScreenSaverAddress gnome{QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("/org/gnome/ScreenSaver"),
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

}  // namespace ostrel::platform::screensaver
