#include "platform/portal/PortalPlatform.h"

#include "common/Log.h"
#include "platform/portal/PortalGlobalShortcuts.h"
#include "platform/portal/PortalRemoteDesktop.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/RestoreTokenStore.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <optional>

namespace ostrel::platform {
namespace {

using portal::kPortalPath;
using portal::kPortalService;

// Starting the portal on demand takes a moment; one that does not answer in
// this time is as good as absent.
constexpr int kPortalAnswerMs = 10'000;

std::optional<std::uint32_t> portalProperty(const QDBusConnection& bus, const QString& interface, const char* name,
                                            const char* portalName, QString* whyNot) {
  if (!bus.isConnected()) {
    if (whyNot) *whyNot = QStringLiteral("there is no session bus to reach the desktop's portals on");
    return std::nullopt;
  }
  QDBusMessage get = QDBusMessage::createMethodCall(
      kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << interface << QString::fromLatin1(name);
  const QDBusMessage answer = bus.call(get, QDBus::Block, kPortalAnswerMs);
  if (answer.type() == QDBusMessage::ErrorMessage || answer.arguments().isEmpty()) {
    if (whyNot) {
      *whyNot = QStringLiteral("the desktop offers no %1 portal (%2: %3)")
                    .arg(QLatin1String(portalName), answer.errorName(), answer.errorMessage());
    }
    return std::nullopt;
  }
  return answer.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
}

}  // namespace

void registerWithPortal(const QDBusConnection& bus, const QString& applicationId) {
  // The portal ties the id to the connection once; asking again only fails.
  static QString registered;
  if (!bus.isConnected() || applicationId.isEmpty() || applicationId == registered) return;
  registered = applicationId;
  QDBusMessage call = QDBusMessage::createMethodCall(
      kPortalService, kPortalPath, QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
  call << applicationId << QVariantMap();
  const QDBusMessage answer = bus.call(call, QDBus::Block, kPortalAnswerMs);
  if (answer.type() != QDBusMessage::ErrorMessage) return;
  // Older portals have no registry and take the id from the systemd unit, or
  // go without one; a desktop without portals has said so already.
  const QString error = answer.errorName();
  if (error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
      error == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
      error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) {
    return;
  }
  log("The desktop's portal did not take Ostrel's application id %@ (%@); GNOME binds no global shortcuts for "
      "Ostrel without it: the desktop entry %@.desktop must be installed (make run installs one for the build)",
      applicationId, answer.errorMessage(), applicationId);
}

std::unique_ptr<GlobalKeyMonitor> createPortalGlobalKeyMonitor(const QDBusConnection& bus, QString* whyNot) {
  const std::optional<std::uint32_t> version = portalProperty(
      bus, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), "version", "GlobalShortcuts", whyNot);
  if (!version) return nullptr;
  return std::make_unique<portal::PortalGlobalShortcuts>(bus, *version);
}

std::unique_ptr<InputInjector> createPortalInputInjector(const QDBusConnection& bus, QString* whyNot) {
  const QString interface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
  const std::optional<std::uint32_t> version = portalProperty(bus, interface, "version", "RemoteDesktop", whyNot);
  if (!version) return nullptr;
  const std::uint32_t types =
      portalProperty(bus, interface, "AvailableDeviceTypes", "RemoteDesktop", nullptr).value_or(0);
  return std::make_unique<portal::PortalRemoteDesktop>(bus, *version, types, portal::RestoreTokenStore());
}

}  // namespace ostrel::platform
