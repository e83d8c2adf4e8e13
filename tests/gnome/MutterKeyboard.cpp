#include "MutterKeyboard.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace ostrel::test {
namespace {

const QString kService = QStringLiteral("org.gnome.Mutter.RemoteDesktop");

QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments = {}) {
  QDBusMessage m = QDBusMessage::createMethodCall(kService, path, interface, method);
  m.setArguments(arguments);
  return QDBusConnection::sessionBus().call(m, QDBus::Block, 10'000);
}

}  // namespace

MutterKeyboard::~MutterKeyboard() {
  if (!session_.isEmpty()) call(session_, kService + QStringLiteral(".Session"), QStringLiteral("Stop"));
}

bool MutterKeyboard::start(QString* error) {
  const QDBusMessage created =
      call(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), kService, QStringLiteral("CreateSession"));
  if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty()) {
    *error = QStringLiteral("no remote-desktop session: %1").arg(created.errorMessage());
    return false;
  }
  session_ = created.arguments().constFirst().value<QDBusObjectPath>().path();
  const QDBusMessage started = call(session_, kService + QStringLiteral(".Session"), QStringLiteral("Start"));
  if (started.type() != QDBusMessage::ReplyMessage) {
    *error = QStringLiteral("the remote-desktop session did not start: %1").arg(started.errorMessage());
    return false;
  }
  return true;
}

void MutterKeyboard::key(int evdevCode, bool down) {
  call(session_, kService + QStringLiteral(".Session"), QStringLiteral("NotifyKeyboardKeycode"),
       {QVariant::fromValue(unsigned(evdevCode)), down});
}

void MutterKeyboard::press(std::initializer_list<int> evdevCodes) {
  for (int code : evdevCodes) key(code, true);
  for (auto it = std::rbegin(evdevCodes); it != std::rend(evdevCodes); ++it) key(*it, false);
}

}  // namespace ostrel::test
