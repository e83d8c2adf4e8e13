#include "platform/portal/PortalShortcut.h"

#include <QDBusMetaType>

namespace ostrel::platform::portal {

void registerPortalShortcutTypes() {
  static const bool registered = [] {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcutList>();
    return true;
  }();
  (void)registered;
}

PortalShortcutList portalShortcutsFrom(const QVariant& value) {
  if (value.canConvert<QDBusArgument>()) {
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() == QLatin1String("a(sa{sv})")) return qdbus_cast<PortalShortcutList>(argument);
    return {};
  }
  return value.value<PortalShortcutList>();
}

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

}  // namespace ostrel::platform::portal
