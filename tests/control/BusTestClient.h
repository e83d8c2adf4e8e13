#pragma once
// The test's side of the session bus: a connection of its own (so the service
// and the caller are two peers, as with ostrelctl), calls that keep the event
// loop running while they wait (the service may live in this very process),
// and a recorder of PropertiesChanged signals.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <functional>
#include <vector>

namespace ostrel::test {

// Runs the event loop (the blocking kind, so idle-time work runs as in the
// program) until `done` holds or `timeoutMs` passed; whether it held.
bool spinUntil(const std::function<bool()>& done, int timeoutMs);
void spinFor(int ms);

class BusTestClient {
 public:
  explicit BusTestClient(const QString& connectionName = QStringLiteral("ostrel-test-client"));
  ~BusTestClient();

  QDBusConnection& connection() { return bus_; }

  // A VELDOR.Ostrel1 method on `destination` (the well-known name by default).
  QDBusMessage call(const QString& method, const QVariantList& arguments = {}, const QString& destination = {},
                    int timeoutMs = 15000);
  QVariant property(const QString& name);
  QVariantMap allProperties();

 private:
  QDBusConnection bus_;
  QString name_;
};

class PropertiesChangedRecorder : public QObject {
  Q_OBJECT

 public:
  explicit PropertiesChangedRecorder(QDBusConnection& bus);
  std::vector<QVariantMap> changes() const { return changes_; }
  std::size_t count() const { return changes_.size(); }
  // Waits for a change (from index `from` on) that carries `name` = `value`.
  bool waitFor(const QString& name, const QVariant& value, std::size_t from, int timeoutMs);

 public Q_SLOTS:
  void record(const QString& interfaceName, const QVariantMap& changed, const QStringList& invalidated);

 private:
  std::vector<QVariantMap> changes_;
};

}  // namespace ostrel::test
