#include "platform/gnome/GnomePlatform.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace ostrel::platform {

std::optional<QString> gnomeShellVersion(const QDBusConnection& bus) {
  if (!bus.isConnected()) return std::nullopt;
  QDBusMessage get =
      QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QStringLiteral("org.gnome.Shell") << QStringLiteral("ShellVersion");
  // The shell is never started on demand: it runs, or this is not GNOME.
  get.setAutoStartService(false);
  const QDBusMessage answer = bus.call(get, QDBus::Block, 5'000);
  if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) return std::nullopt;
  const QString version = answer.arguments().constFirst().value<QDBusVariant>().variant().toString();
  if (version.isEmpty()) return std::nullopt;
  return version;
}

}  // namespace ostrel::platform
