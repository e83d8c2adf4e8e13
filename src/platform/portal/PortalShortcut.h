#pragma once
// One entry of the GlobalShortcuts portal's shortcut lists, the D-Bus type
// (sa{sv}): a shortcut id and its properties ("description",
// "preferred_trigger" going out; "description", "trigger_description" coming
// back). Lists travel as a(sa{sv}); registerPortalShortcutTypes() makes QtDBus
// know them, once, before the first call.

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace ostrel::platform::portal {

struct PortalShortcut {
  QString id;
  QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;

void registerPortalShortcutTypes();

// A list from a portal answer (a QDBusArgument inside the variant); empty when
// the value is absent or of another type.
PortalShortcutList portalShortcutsFrom(const QVariant& value);

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut);

}  // namespace ostrel::platform::portal

Q_DECLARE_METATYPE(ostrel::platform::portal::PortalShortcut)
Q_DECLARE_METATYPE(ostrel::platform::portal::PortalShortcutList)
