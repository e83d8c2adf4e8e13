#include "PortalKeyboard.h"

#include "platform/portal/PortalRequest.h"
#include "support/EventLoopWait.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <optional>

namespace ostrel::test {
namespace {

using platform::portal::PortalAnswer;
using platform::portal::PortalRequest;

const QString kInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");

PortalAnswer ask(const QString& method, const QVariantList& arguments, const QVariantMap& options) {
  QObject context;
  std::optional<PortalAnswer> answer;
  PortalRequest::start(QDBusConnection::sessionBus(), kInterface, method, arguments, options, &context,
                       [&answer](const PortalAnswer& a) { answer = a; });
  runEventLoopUntil([&] { return answer.has_value(); }, 60'000);
  return answer.value_or(PortalAnswer{PortalAnswer::kOther, {}, QStringLiteral("no answer")});
}

}  // namespace

bool PortalKeyboard::start(QString* error, const QString& restoreToken) {
  PortalAnswer a = ask(QStringLiteral("CreateSession"), {},
                       {{QStringLiteral("session_handle_token"), PortalRequest::nextToken("test_keyboard")}});
  session_ = a.results.value(QStringLiteral("session_handle")).toString();
  const QVariant session = QVariant::fromValue(QDBusObjectPath(session_));
  QVariantMap devices{{QStringLiteral("types"), 1u}};
  if (!restoreToken.isEmpty()) {
    devices.insert(QStringLiteral("persist_mode"), 2u);
    devices.insert(QStringLiteral("restore_token"), restoreToken);
  }
  if (a.done()) a = ask(QStringLiteral("SelectDevices"), {session}, devices);
  if (a.done()) a = ask(QStringLiteral("Start"), {session, QString()}, {});
  if (!a.done()) *error = QStringLiteral("no keyboard session: %1 (response %2)").arg(a.error).arg(a.code);
  return a.done();
}

void PortalKeyboard::key(int evdevCode, bool down) {
  QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                                     QStringLiteral("/org/freedesktop/portal/desktop"), kInterface,
                                                     QStringLiteral("NotifyKeyboardKeycode"));
  call << QVariant::fromValue(QDBusObjectPath(session_)) << QVariantMap() << evdevCode << unsigned(down ? 1 : 0);
  // The portal may pass calls on out of order; one at a time keeps Control
  // down before the key.
  QDBusConnection::sessionBus().call(call);
}

void PortalKeyboard::press(std::initializer_list<int> evdevCodes) {
  for (int code : evdevCodes) key(code, true);
  for (auto it = std::rbegin(evdevCodes); it != std::rend(evdevCodes); ++it) key(*it, false);
}

}  // namespace ostrel::test
