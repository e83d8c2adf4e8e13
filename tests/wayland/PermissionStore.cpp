#include "PermissionStore.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace ostrel::test {
namespace {

QDBusMessage storeCall(const QString& method) {
  return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.impl.portal.PermissionStore"),
                                        QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
                                        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), method);
}

bool send(const QDBusMessage& call, QString* error) {
  const QDBusMessage answer = QDBusConnection::sessionBus().call(call, QDBus::Block, 10'000);
  if (answer.type() != QDBusMessage::ErrorMessage) return true;
  if (error) *error = answer.errorName() + QStringLiteral(": ") + answer.errorMessage();
  return false;
}

}  // namespace

bool setStoredPermission(const QString& table, const QString& id, const QString& app, const QStringList& permissions,
                         QString* error) {
  QDBusMessage call = storeCall(QStringLiteral("SetPermission"));
  call << table << true << id << app << permissions;
  return send(call, error);
}

bool deleteStoredPermission(const QString& table, const QString& id, const QString& app, QString* error) {
  QDBusMessage call = storeCall(QStringLiteral("DeletePermission"));
  call << table << id << app;
  return send(call, error);
}

bool authorizeRemoteDesktopOnPlasma(const QString& app, QString* error) {
  return setStoredPermission(QStringLiteral("kde-authorized"), QStringLiteral("remote-desktop"), app,
                             {QStringLiteral("yes")}, error);
}

bool revokeRemoteDesktopOnPlasma(const QString& app, QString* error) {
  return deleteStoredPermission(QStringLiteral("kde-authorized"), QStringLiteral("remote-desktop"), app, error);
}

}  // namespace ostrel::test
