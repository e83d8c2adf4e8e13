#include "platform/portal/PortalRequest.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <atomic>

namespace ostrel::platform::portal {
namespace {

const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// The request path the portal will use: the unique name without ':' and with
// '.' turned into '_', then the token.
QString requestPath(const QDBusConnection& bus, const QString& token) {
  QString sender = bus.baseService();
  sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
  return kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

}  // namespace

QDBusMessage closeSessionCall(const QString& sessionPath) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      kPortalService, sessionPath, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close"));
  call.setAutoStartService(false);
  return call;
}

QString sessionHandle(const QVariant& value) {
  if (value.userType() == qMetaTypeId<QDBusObjectPath>()) return value.value<QDBusObjectPath>().path();
  return value.toString();
}

QString PortalRequest::nextToken(const char* prefix) {
  static std::atomic<unsigned> counter{0};
  return QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(++counter);
}

PortalRequest::PortalRequest(const QDBusConnection& bus, QObject* context, Handler handler)
    : QObject(context), bus_(bus), handler_(std::move(handler)) {}

void PortalRequest::start(const QDBusConnection& bus, const QString& interface, const QString& method,
                          const QVariantList& arguments, QVariantMap options, QObject* context, Handler handler,
                          std::function<void()> whenUnanswered) {
  auto* request = new PortalRequest(bus, context, std::move(handler));
  const QString token = nextToken("ostrel");
  options.insert(QStringLiteral("handle_token"), token);
  const QString expected = requestPath(bus, token);
  if (!request->listen(expected)) {
    request->finish({PortalAnswer::kOther, {}, QStringLiteral("cannot listen for the portal's answer")});
    return;
  }
  if (whenUnanswered) {
    // The timer belongs to the request: an answer (or the context's end)
    // takes it along.
    QTimer::singleShot(kConfirmationDelay, request, [request, whenUnanswered = std::move(whenUnanswered)] {
      if (!request->finished_) whenUnanswered();
    });
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
  call.setArguments(QVariantList(arguments) << options);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), request);
  connect(watcher, &QDBusPendingCallWatcher::finished, request, [request, expected](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    const QDBusPendingReply<QDBusObjectPath> reply = *w;
    if (reply.isError()) {
      request->finish(
          {PortalAnswer::kOther, {}, reply.error().name() + QStringLiteral(": ") + reply.error().message()});
      return;
    }
    const QString path = reply.value().path();
    if (path != expected && !request->listen(path)) {
      request->finish({PortalAnswer::kOther, {}, QStringLiteral("cannot listen for the portal's answer")});
    }
  });
}

bool PortalRequest::listen(const QString& path) {
  // No sender filter: matching on the portal's well-known name would need its
  // owner looked up first, and the path already names this caller.
  if (!bus_.connect(QString(), path, kRequestInterface, QStringLiteral("Response"), this,
                    SLOT(onResponse(uint, QVariantMap)))) {
    return false;
  }
  paths_ << path;
  return true;
}

void PortalRequest::onResponse(uint code, const QVariantMap& results) {
  finish({code, results, {}});
}

void PortalRequest::finish(const PortalAnswer& answer) {
  if (finished_) return;
  finished_ = true;
  for (const QString& path : paths_) {
    bus_.disconnect(QString(), path, kRequestInterface, QStringLiteral("Response"), this,
                    SLOT(onResponse(uint, QVariantMap)));
  }
  deleteLater();
  // The handler may end the context and with it this object.
  const Handler handler = std::move(handler_);
  if (handler) handler(answer);
}

}  // namespace ostrel::platform::portal
