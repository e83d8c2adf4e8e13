#include "control/BusTypesFirst.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QMetaType>

namespace ostrel {

void registerBusTypesBeforeFirstConnection() {
  // The types a reply can carry back through the D-Bus thread's queued signals
  // and its demarshalling; registering any one creates the registry.
  qRegisterMetaType<QDBusError>();
  qRegisterMetaType<QDBusMessage>();
  qRegisterMetaType<QDBusVariant>();
  qRegisterMetaType<QDBusObjectPath>();
  qRegisterMetaType<QDBusSignature>();
}

}  // namespace ostrel
