#include "platform/portal/PortalPlatform.h"

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
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      kPortalService, kPortalPath, QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
  call << applicationId << QVariantMap();
  // Older portals have no registry and take the id from the systemd unit, or
  // go without one: either way the answer changes nothing here.
  (void)bus.call(call, QDBus::Block, kPortalAnswerMs);
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
