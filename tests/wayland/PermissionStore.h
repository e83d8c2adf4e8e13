#pragma once
// The desktop's permission store (org.freedesktop.impl.portal.PermissionStore,
// xdg-permission-store), where the portals keep what a user granted: the
// RemoteDesktop portal's restore tokens (table "remote-desktop") and Plasma
// 6's pre-authorisations (table "kde-authorized", id "remote-desktop"). Tests
// write there what the desktop itself would have stored.

#include <QString>
#include <QStringList>

namespace ostrel::test {

// Grants `app` (an application id; "" for a program without one) the given
// permissions for `id` in `table`; false with `error`.
bool setStoredPermission(const QString& table, const QString& id, const QString& app, const QStringList& permissions,
                         QString* error);
// Takes back what `app` was granted for `id` in `table`.
bool deleteStoredPermission(const QString& table, const QString& id, const QString& app, QString* error);

// Plasma 6: lets `app` use the RemoteDesktop portal without a dialog, as the
// desktop's application permissions settings do.
bool authorizeRemoteDesktopOnPlasma(const QString& app, QString* error);
bool revokeRemoteDesktopOnPlasma(const QString& app, QString* error);

}  // namespace ostrel::test
