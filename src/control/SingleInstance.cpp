#include "control/SingleInstance.h"

#include "common/Log.h"
#include "control/ControlProtocol.h"
#include "control/OstrelControlService.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace ostrel {
namespace {

InstanceRole handOver(QDBusConnection bus, HandOver how) {
  QDBusMessage request =
      how == HandOver::ShowWindow
          ? QDBusMessage::createMethodCall(OstrelBusServiceName, OstrelBusObjectPath, OstrelBusInterfaceName,
                                           QStringLiteral("Activate"))
          : QDBusMessage::createMethodCall(OstrelBusServiceName, OstrelBusObjectPath,
                                           QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
  request.setAutoStartService(false);
  const QDBusMessage answer = bus.call(request, QDBus::Block, SingleInstance::kActivateTimeoutMs);
  if (answer.type() == QDBusMessage::ErrorMessage) {
    log("Another Ostrel is running but did not answer (%@: %@); not starting a second one", answer.errorName(),
        answer.errorMessage());
    return InstanceRole::SecondaryUnreachable;
  }
  log(how == HandOver::ShowWindow ? "Another Ostrel is running: asked it to show its window"
                                  : "Another Ostrel is running: left its window as it is");
  return InstanceRole::Secondary;
}

}  // namespace

InstanceRole SingleInstance::claim(OstrelControlService& service, const QDBusConnection& connection, HandOver how) {
  QDBusConnection bus = connection;
  if (!bus.isConnected()) {
    log("No session bus (%@): ostrelctl and a second launch cannot reach this Ostrel", bus.lastError().message());
    return InstanceRole::PrimaryWithoutBus;
  }
  if (!service.publish(bus)) return InstanceRole::PrimaryWithoutBus;

  QDBusConnectionInterface* names = bus.interface();
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
      names ? names->registerService(OstrelBusServiceName, QDBusConnectionInterface::DontQueueService,
                                     QDBusConnectionInterface::DontAllowReplacement)
            : QDBusReply<QDBusConnectionInterface::RegisterServiceReply>(
                  QDBusError(QDBusError::Disconnected, QStringLiteral("no bus interface")));
  if (!reply.isValid()) {
    log("Could not take the name %@ on the session bus (%@): ostrelctl cannot reach this Ostrel", OstrelBusServiceName,
        reply.error().message());
    service.unpublish();
    return InstanceRole::PrimaryWithoutBus;
  }
  if (reply.value() == QDBusConnectionInterface::ServiceRegistered) return InstanceRole::Primary;

  service.unpublish();
  return handOver(bus, how);
}

std::optional<int> SingleInstance::exitStatus(InstanceRole role) {
  switch (role) {
    case InstanceRole::Primary:
    case InstanceRole::PrimaryWithoutBus:
      return std::nullopt;
    case InstanceRole::Secondary:
      return 0;
    case InstanceRole::SecondaryUnreachable:
      return 1;
  }
  return std::nullopt;
}

}  // namespace ostrel
