#pragma once
// The one process-wide list of the serial ports present, kept current by the
// device registry's arrivals and departures.
//
// Contract:
//  - sharedSerialPortManager(): created on first use, exactly once whatever the
//    thread, never destroyed. Creation lists every device of
//    PelDeviceRegistry::shared() as a port (registry order) and starts the
//    registry's hot-plug watch on the main thread (queued there when created on
//    another thread, so that a main thread waiting for the creation cannot
//    deadlock), and installs the exit clean-up. It logs once which hot-plug
//    sources are live.
//  - A manager of one's own (tools, tests) is made from a registry of one's
//    own; it behaves the same but is not the shared one.
//  - availablePorts(): a copy of the current list. Arrivals are appended,
//    departures removed; nothing else changes it but the exit clean-up.
//  - The indexed accessors work on the stored list and tell the observers of
//    the list exactly what changed (one insertion or one removal with the
//    indexes). Bad indexes change nothing: the call returns false and logs why.
//  - Arrivals and departures reach serialPortsWerePublished() and
//    serialPortsWereTerminated() on the main thread, departures of a batch
//    before its arrivals (a quick re-plug must first drop the old port).
//    Published: a port for each device not already listed (by path), appended
//    in one insertion; then PelSerialPortsWereConnectedNotification with the
//    new ports, posted even when there are none. Terminated: the listed port of
//    each device runs cleanupAfterSystemRemoval() (its delegate hears of the
//    removal on the main thread, the port closes), the ports leave the list in
//    one removal, then PelSerialPortsWereDisconnectedNotification with them.
//    Both notifications are posted on NotificationCenter::defaultCenter() with
//    the manager as object and a QList<std::shared_ptr<PelSerialPort>> (in
//    std::any) under PelConnectedSerialPortsKey / PelDisconnectedSerialPortsKey.
//  - Exit clean-up: when the application is about to quit, when it is
//    destroyed, and at process exit (std::atexit), whichever comes first, every
//    listed port of every live manager runs cleanupAfterSystemRemoval() in list
//    order, every port thread is then joined (delegate calls the closes make
//    run on the main thread meanwhile), and the list is emptied; at the very
//    end every other live port is closed and joined as well. Running it again
//    finds nothing to do.
//  - The list is guarded by a lock, so reading it from any thread is safe;
//    observers and notifications run on the thread that made the change
//    (the main thread, except for an exit at process end).

#include "platform/DeviceRegistryBackend.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace ostrel {

class PelSerialPort;
class PelDeviceRegistry;

extern const QString PelSerialPortsWereConnectedNotification;     // "PelSerialPortWasConnectedNotification"
extern const QString PelSerialPortsWereDisconnectedNotification;  // "PelSerialPortWasDisconnectedNotification"
extern const QString PelConnectedSerialPortsKey;                  // "PelConnectedSerialPortsKey"
extern const QString PelDisconnectedSerialPortsKey;               // "PelDisconnectedSerialPortsKey"

class PelSerialPortManager {
 public:
  using PortList = QList<std::shared_ptr<PelSerialPort>>;

  // What an observer of availablePorts hears. Indexes are ascending; for an
  // insertion they are positions in the new list, for a removal in the old.
  struct AvailablePortsChange {
    enum class Kind { Replacement, Insertion, Removal };
    Kind kind = Kind::Replacement;
    QList<qsizetype> indexes;  // empty for a replacement
    PortList ports;            // inserted or removed ports; the new list for a replacement
  };
  using AvailablePortsObserver = std::function<void(const AvailablePortsChange&)>;
  using ObserverToken = std::uint64_t;

  static PelSerialPortManager& sharedSerialPortManager();

  explicit PelSerialPortManager(PelDeviceRegistry& registry);
  ~PelSerialPortManager();
  PelSerialPortManager(const PelSerialPortManager&) = delete;
  PelSerialPortManager& operator=(const PelSerialPortManager&) = delete;

  PortList availablePorts() const;
  void setAvailablePorts(const PortList& ports);

  qsizetype countOfAvailablePorts() const;
  std::shared_ptr<PelSerialPort> objectInAvailablePortsAtIndex(qsizetype index) const;  // null when out of range
  // ports[i] ends up at indexes[i]; indexes ascending, unique, one per port.
  bool insertAvailablePorts(const PortList& ports, const QList<qsizetype>& indexes);
  bool insertObjectInAvailablePortsAtIndex(const std::shared_ptr<PelSerialPort>& port, qsizetype index);
  bool removeAvailablePortsAtIndexes(const QList<qsizetype>& indexes);
  bool removeObjectFromAvailablePortsAtIndex(qsizetype index);

  ObserverToken addAvailablePortsObserver(AvailablePortsObserver observer);
  void removeAvailablePortsObserver(ObserverToken token);

  // Registry events; normally reached through the two callbacks below.
  void serialPortsWerePublished(const std::vector<platform::SerialDeviceEntry>& devices);
  void serialPortsWereTerminated(const std::vector<platform::SerialDeviceEntry>& devices);

  // The exit clean-up of this manager (see the contract).
  void cleanupAllPortsForExit();

  // "<PelSerialPortManager: 0x...>"
  QString description() const;

 private:
  void retrieveAvailablePortsAndRegisterForChangeNotifications();
  void registerForNotifications();
  void startWatchingOnMainThread();
  void changeList(const std::function<bool(PortList&, AvailablePortsChange&)>& edit);

  PelDeviceRegistry& registry_;
  mutable std::mutex mutex_;
  PortList availablePorts_;
  std::map<ObserverToken, AvailablePortsObserver> observers_;
  ObserverToken nextObserver_ = 1;
  bool watching_ = false;
};

// The registry's delivery functions; context must be a live PelSerialPortManager.
// Anything else is logged and dropped.
void PelSerialPortManagerPortsPublishedNotificationCallback(void* context,
                                                            const std::vector<platform::SerialDeviceEntry>& devices);
void PelSerialPortManagerPortsTerminatedNotificationCallback(void* context,
                                                             const std::vector<platform::SerialDeviceEntry>& devices);

}  // namespace ostrel
