#pragma once
// One call of a portal method that answers later, through a
// org.freedesktop.portal.Request object and its Response signal.
//
// The request's path is known before the call (the portal builds it from the
// caller's unique bus name and the handle_token it is given), so the Response
// is subscribed first: a portal that answers at once cannot be missed. A
// portal that names another path in its reply is followed there as well.
//
// The answer arrives once, on the main thread, unless `context` is destroyed
// first: code 0 = done, 1 = the user declined, 2 = anything else (a failed
// call included, with `error` saying why). Results keep nested D-Bus types as
// QDBusArgument (see PortalShortcut.h).
//
// A request the portal has not answered within kConfirmationDelay is one the
// desktop put before the user (a dialog): `whenUnanswered` runs then, once.
// Portals that need no one's answer reply in a few tens of milliseconds.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <chrono>
#include <cstdint>
#include <functional>

namespace ostrel::platform::portal {

inline const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// Session.Close for a portal session. Like every call on a session, it never
// starts a portal that is not running (there is no session to close then).
QDBusMessage closeSessionCall(const QString& sessionPath);

// A session handle as portals answer it: a string, or an object path.
QString sessionHandle(const QVariant& value);

struct PortalAnswer {
  static constexpr std::uint32_t kDone = 0;
  static constexpr std::uint32_t kDeclined = 1;
  static constexpr std::uint32_t kOther = 2;

  std::uint32_t code = kOther;
  QVariantMap results;
  QString error;  // set when the call itself failed

  bool done() const { return code == kDone; }
};

class PortalRequest : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<void(const PortalAnswer&)>;

  static constexpr std::chrono::milliseconds kConfirmationDelay{1000};

  // Calls `method` of `interface` on the portal with `arguments` followed by
  // `options` (which gains the handle_token).
  static void start(const QDBusConnection& bus, const QString& interface, const QString& method,
                    const QVariantList& arguments, QVariantMap options, QObject* context, Handler handler,
                    std::function<void()> whenUnanswered = {});

  // A token for handle_token or session_handle_token, unique in this process.
  static QString nextToken(const char* prefix);

 private Q_SLOTS:
  void onResponse(uint code, const QVariantMap& results);

 private:
  PortalRequest(const QDBusConnection& bus, QObject* context, Handler handler);
  bool listen(const QString& path);
  void finish(const PortalAnswer& answer);

  QDBusConnection bus_;
  Handler handler_;
  QStringList paths_;
  bool finished_ = false;
};

}  // namespace ostrel::platform::portal
