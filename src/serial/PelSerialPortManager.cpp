#include "serial/PelSerialPortManager.h"

#include "common/Log.h"
#include "common/MainThread.h"
#include "common/NotificationCenter.h"
#include "serial/PelDeviceRegistry.h"
#include "serial/PelSerialPort.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <set>

namespace ostrel {

const QString PelSerialPortsWereConnectedNotification = QStringLiteral("PelSerialPortWasConnectedNotification");
const QString PelSerialPortsWereDisconnectedNotification = QStringLiteral("PelSerialPortWasDisconnectedNotification");
const QString PelConnectedSerialPortsKey = QStringLiteral("PelConnectedSerialPortsKey");
const QString PelDisconnectedSerialPortsKey = QStringLiteral("PelDisconnectedSerialPortsKey");

namespace {

using PortList = PelSerialPortManager::PortList;
using Change = PelSerialPortManager::AvailablePortsChange;

// Every manager alive, so that the registry callbacks can tell a manager from
// a stray pointer and the exit clean-up can reach them all. Never destroyed:
// the exit clean-up may run during static destruction.
struct LiveManagers {
  std::mutex mutex;
  std::set<const void*> all;
};
LiveManagers& liveManagers() {
  static auto* live = new LiveManagers;
  return *live;
}
bool isLiveManager(const void* p) {
  LiveManagers& live = liveManagers();
  std::lock_guard lock(live.mutex);
  return p && live.all.count(p) != 0;
}
std::vector<PelSerialPortManager*> liveManagerList() {
  LiveManagers& live = liveManagers();
  std::lock_guard lock(live.mutex);
  std::vector<PelSerialPortManager*> out;
  for (const void* p : live.all) out.push_back(static_cast<PelSerialPortManager*>(const_cast<void*>(p)));
  return out;
}

void runExitCleanup() {
  for (PelSerialPortManager* manager : liveManagerList()) manager->cleanupAllPortsForExit();
  // Ports nobody lists any more (a departed device still closing, a tool's own
  // port) end here too: no port thread outlives the exit.
  PelSerialPort::closeAllAndWait();
}

QString contextDescription(const void* context) {
  if (!context) return QStringLiteral("(null)");
  return QStringLiteral("<0x%1>").arg(quintptr(context), 0, 16);
}

qsizetype indexOfPath(const PortList& ports, const QString& path) {
  for (qsizetype i = 0; i < ports.size(); ++i) {
    if (ports[i]->path() == path) return i;
  }
  return -1;
}

QString indexText(const QList<qsizetype>& indexes) {
  QStringList parts;
  for (qsizetype i : indexes) parts << QString::number(i);
  return QLatin1Char('[') + parts.join(QLatin1String(", ")) + QLatin1Char(']');
}

bool strictlyAscending(const QList<qsizetype>& indexes) {
  return std::adjacent_find(indexes.begin(), indexes.end(), [](qsizetype a, qsizetype b) { return a >= b; }) ==
         indexes.end();
}

}  // namespace

PelSerialPortManager& PelSerialPortManager::sharedSerialPortManager() {
  static PelSerialPortManager* shared = new PelSerialPortManager(PelDeviceRegistry::shared());
  return *shared;
}

PelSerialPortManager::PelSerialPortManager(PelDeviceRegistry& registry) : registry_(registry) {
  {
    LiveManagers& live = liveManagers();
    std::lock_guard lock(live.mutex);
    live.all.insert(this);
  }
  retrieveAvailablePortsAndRegisterForChangeNotifications();
  registerForNotifications();
}

PelSerialPortManager::~PelSerialPortManager() {
  {
    LiveManagers& live = liveManagers();
    std::lock_guard lock(live.mutex);
    live.all.erase(this);
  }
  if (watching_) registry_.stopWatching();
}

QString PelSerialPortManager::description() const {
  return QStringLiteral("<PelSerialPortManager: 0x%1>").arg(quintptr(this), 0, 16);
}

void PelSerialPortManager::retrieveAvailablePortsAndRegisterForChangeNotifications() {
  PortList ports;
  for (const platform::SerialDeviceEntry& entry : registry_.enumerate()) {
    std::shared_ptr<PelSerialPort> port = PelSerialPort::serialPortWithDevice(entry);
    if (port && indexOfPath(ports, port->path()) < 0) ports.append(std::move(port));
  }
  setAvailablePorts(ports);
  if (mainthread::isMainThread()) {
    startWatchingOnMainThread();
  } else {
    // Waiting for the main thread here could deadlock a main thread that is
    // itself waiting for this creation; queue instead.
    mainthread::post([this] {
      if (isLiveManager(this)) startWatchingOnMainThread();
    });
  }
}

void PelSerialPortManager::startWatchingOnMainThread() {
  QString whyNot;
  watching_ = registry_.startWatching(
      [this](const std::vector<platform::SerialDeviceEntry>& arrived,
             const std::vector<platform::SerialDeviceEntry>& departed) {
        // Departures first: after a quick re-plug the old port must be gone
        // before the new one is looked for.
        if (!departed.empty()) PelSerialPortManagerPortsTerminatedNotificationCallback(this, departed);
        if (!arrived.empty()) PelSerialPortManagerPortsPublishedNotificationCallback(this, arrived);
      },
      &whyNot);
  const qsizetype count = countOfAvailablePorts();
  if (watching_ && whyNot.isEmpty()) {
    log("PelSerialPortManager: %ld serial ports listed; every device source reports arrivals and departures",
        long(count));
  } else if (watching_) {
    log("PelSerialPortManager: %ld serial ports listed; arrivals and departures reported, but not from %@", long(count),
        whyNot);
  } else {
    log("PelSerialPortManager: %ld serial ports listed; arrivals and departures go unnoticed (%@)", long(count),
        whyNot);
  }
}

void PelSerialPortManager::registerForNotifications() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Whichever runs first does the work; the others find empty lists. The
    // Qt hooks matter because by the time std::atexit handlers run the
    // application object, and with it the main thread's event loop, is gone.
    if (std::atexit(runExitCleanup) != 0) {
      log("PelSerialPort was unable to register its termination handler for serial port cleanup: %i", errno);
    }
    qAddPostRoutine(runExitCleanup);
    if (QCoreApplication* app = QCoreApplication::instance()) {
      QObject::connect(app, &QCoreApplication::aboutToQuit, app, runExitCleanup);
    }
  });
}

void PelSerialPortManager::cleanupAllPortsForExit() {
  const PortList ports = availablePorts();
  if (ports.isEmpty()) return;
  for (const auto& port : ports) port->cleanupAfterSystemRemoval();
  // Every close runs at once; then each port thread is joined, so nothing of
  // the ports runs once the exit goes on to take the application apart.
  for (const auto& port : ports) port->waitUntilClosed();
  setAvailablePorts({});
}

// ---- The observable list ---------------------------------------------------

void PelSerialPortManager::changeList(const std::function<bool(PortList&, AvailablePortsChange&)>& edit) {
  AvailablePortsChange change;
  std::vector<AvailablePortsObserver> toTell;
  {
    std::lock_guard lock(mutex_);
    if (!edit(availablePorts_, change)) return;
    for (const auto& [token, observer] : observers_) toTell.push_back(observer);
  }
  for (const auto& observer : toTell) observer(change);
}

PortList PelSerialPortManager::availablePorts() const {
  std::lock_guard lock(mutex_);
  return availablePorts_;
}

void PelSerialPortManager::setAvailablePorts(const PortList& ports) {
  changeList([&](PortList& list, AvailablePortsChange& change) {
    list = ports;
    change.kind = AvailablePortsChange::Kind::Replacement;
    change.ports = list;
    return true;
  });
}

qsizetype PelSerialPortManager::countOfAvailablePorts() const {
  std::lock_guard lock(mutex_);
  return availablePorts_.size();
}

std::shared_ptr<PelSerialPort> PelSerialPortManager::objectInAvailablePortsAtIndex(qsizetype index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= availablePorts_.size()) return nullptr;
  return availablePorts_[index];
}

bool PelSerialPortManager::insertAvailablePorts(const PortList& ports, const QList<qsizetype>& indexes) {
  QString refusal;
  changeList([&](PortList& list, AvailablePortsChange& change) {
    if (ports.size() != indexes.size()) {
      refusal = QStringLiteral("%1 ports for %2 indexes").arg(ports.size()).arg(indexes.size());
      return false;
    }
    if (ports.isEmpty()) return false;
    if (std::any_of(ports.begin(), ports.end(), [](const auto& p) { return !p; })) {
      refusal = QStringLiteral("a port is missing");
      return false;
    }
    if (indexes.front() < 0 || !strictlyAscending(indexes)) {
      refusal = QStringLiteral("indexes %1 are not ascending, unique and non-negative").arg(indexText(indexes));
      return false;
    }
    // Inserting in ascending order, each index must be within the list as it
    // has grown by then.
    for (qsizetype i = 0; i < indexes.size(); ++i) {
      if (indexes[i] > list.size() + i) {
        refusal = QStringLiteral("index %1 is beyond the end of a list of %2").arg(indexes[i]).arg(list.size() + i);
        return false;
      }
    }
    for (qsizetype i = 0; i < indexes.size(); ++i) list.insert(indexes[i], ports[i]);
    change.kind = AvailablePortsChange::Kind::Insertion;
    change.indexes = indexes;
    change.ports = ports;
    return true;
  });
  if (!refusal.isEmpty()) log("PelSerialPortManager: insertAvailablePorts refused: %@; the list is unchanged", refusal);
  return refusal.isEmpty();
}

bool PelSerialPortManager::insertObjectInAvailablePortsAtIndex(const std::shared_ptr<PelSerialPort>& port,
                                                               qsizetype index) {
  return insertAvailablePorts(PortList{port}, QList<qsizetype>{index});
}

bool PelSerialPortManager::removeAvailablePortsAtIndexes(const QList<qsizetype>& indexes) {
  QString refusal;
  changeList([&](PortList& list, AvailablePortsChange& change) {
    if (indexes.isEmpty()) return false;
    if (indexes.front() < 0 || !strictlyAscending(indexes)) {
      refusal = QStringLiteral("indexes %1 are not ascending, unique and non-negative").arg(indexText(indexes));
      return false;
    }
    if (indexes.back() >= list.size()) {
      refusal = QStringLiteral("index %1 is beyond the end of a list of %2").arg(indexes.back()).arg(list.size());
      return false;
    }
    change.kind = AvailablePortsChange::Kind::Removal;
    change.indexes = indexes;
    for (qsizetype i : indexes) change.ports.append(list[i]);
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) list.removeAt(*it);
    return true;
  });
  if (!refusal.isEmpty())
    log("PelSerialPortManager: removeAvailablePortsAtIndexes refused: %@; the list is unchanged", refusal);
  return refusal.isEmpty();
}

bool PelSerialPortManager::removeObjectFromAvailablePortsAtIndex(qsizetype index) {
  return removeAvailablePortsAtIndexes(QList<qsizetype>{index});
}

PelSerialPortManager::ObserverToken PelSerialPortManager::addAvailablePortsObserver(AvailablePortsObserver observer) {
  std::lock_guard lock(mutex_);
  const ObserverToken token = nextObserver_++;
  observers_[token] = std::move(observer);
  return token;
}

void PelSerialPortManager::removeAvailablePortsObserver(ObserverToken token) {
  std::lock_guard lock(mutex_);
  observers_.erase(token);
}

// ---- Arrivals and departures -----------------------------------------------

void PelSerialPortManager::serialPortsWerePublished(const std::vector<platform::SerialDeviceEntry>& devices) {
  PortList candidates;
  for (const platform::SerialDeviceEntry& entry : devices) {
    std::shared_ptr<PelSerialPort> port = PelSerialPort::serialPortWithDevice(entry);
    if (port) candidates.append(std::move(port));
  }
  // Decided under the list's lock, so that the check for an equal port and the
  // append cannot be split by another change.
  PortList fresh;
  changeList([&](PortList& list, AvailablePortsChange& change) {
    for (const auto& port : candidates) {
      if (indexOfPath(list, port->path()) >= 0 || indexOfPath(fresh, port->path()) >= 0) continue;
      fresh.append(port);
    }
    if (fresh.isEmpty()) return false;
    change.kind = AvailablePortsChange::Kind::Insertion;
    for (qsizetype i = 0; i < fresh.size(); ++i) change.indexes.append(list.size() + i);
    change.ports = fresh;
    list.append(fresh);
    return true;
  });
  NotificationCenter::defaultCenter().post(
      {PelSerialPortsWereConnectedNotification, this, {{PelConnectedSerialPortsKey, std::any(fresh)}}});
}

void PelSerialPortManager::serialPortsWereTerminated(const std::vector<platform::SerialDeviceEntry>& devices) {
  const PortList listed = availablePorts();
  PortList removed;
  for (const platform::SerialDeviceEntry& entry : devices) {
    // The listed port of that path is the one whose owner must hear of the
    // loss, even if the registry would now make a different object for it.
    std::shared_ptr<PelSerialPort> port;
    if (const qsizetype i = indexOfPath(listed, entry.calloutPath); i >= 0) {
      port = listed[i];
    } else {
      port = PelSerialPort::serialPortWithDevice(entry);
    }
    if (!port || indexOfPath(removed, port->path()) >= 0) continue;
    removed.append(std::move(port));
  }
  for (const auto& port : removed) port->cleanupAfterSystemRemoval();
  changeList([&](PortList& list, AvailablePortsChange& change) {
    change.kind = AvailablePortsChange::Kind::Removal;
    for (qsizetype i = 0; i < list.size(); ++i) {
      if (indexOfPath(removed, list[i]->path()) >= 0) {
        change.indexes.append(i);
        change.ports.append(list[i]);
      }
    }
    for (auto it = change.indexes.rbegin(); it != change.indexes.rend(); ++it) list.removeAt(*it);
    return !change.indexes.isEmpty();
  });
  NotificationCenter::defaultCenter().post(
      {PelSerialPortsWereDisconnectedNotification, this, {{PelDisconnectedSerialPortsKey, std::any(removed)}}});
}

// ---- Registry callbacks ----------------------------------------------------

void PelSerialPortManagerPortsPublishedNotificationCallback(void* context,
                                                            const std::vector<platform::SerialDeviceEntry>& devices) {
  if (!isLiveManager(context)) {
    log("Unexpected context object %@ in %s. Context object should be an instance of PelSerialPortManager",
        contextDescription(context),
        "void PelSerialPortManagerPortsPublishedNotificationCallback(void *, io_iterator_t)");
    return;
  }
  log("PelSerialPortManagerPortsPublishedNotificationCallback");
  static_cast<PelSerialPortManager*>(context)->serialPortsWerePublished(devices);
}

void PelSerialPortManagerPortsTerminatedNotificationCallback(void* context,
                                                             const std::vector<platform::SerialDeviceEntry>& devices) {
  if (!isLiveManager(context)) {
    log("Unexpected context object %@ in %s. Context object should be an instance of PelSerialPortManager",
        contextDescription(context),
        "void PelSerialPortManagerPortsTerminatedNotificationCallback(void *, io_iterator_t)");
    return;
  }
  log("PelSerialPortManagerPortsTerminatedNotificationCallback");
  static_cast<PelSerialPortManager*>(context)->serialPortsWereTerminated(devices);
}

}  // namespace ostrel
