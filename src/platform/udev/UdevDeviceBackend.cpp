#include "platform/udev/UdevDeviceBackend.h"

#include "common/Log.h"
#include "common/MainThread.h"
#include "platform/udev/TtyClassifier.h"
#include "platform/udev/TtyHotplugTracker.h"

#include <libudev.h>
#include <unistd.h>
#include <QFile>
#include <QObject>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>

namespace ostrel::platform {
namespace {

struct UdevUnref {
  void operator()(udev* u) const { udev_unref(u); }
};
struct EnumerateUnref {
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};
struct DeviceUnref {
  void operator()(udev_device* dev) const { udev_device_unref(dev); }
};
struct MonitorUnref {
  void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, EnumerateUnref>;
using DevicePtr = std::unique_ptr<udev_device, DeviceUnref>;
using MonitorPtr = std::unique_ptr<udev_monitor, MonitorUnref>;

const QString kDefaultSysfsRoot = QStringLiteral("/sys");

QString errnoText(int code) {
  return QString::fromLocal8Bit(std::strerror(code));
}
QString fromC(const char* s) {
  return s ? QString::fromUtf8(s) : QString();
}

// libudev lists the candidates; which of them are serial ports is decided by
// the same classifier the sysfs scan uses, so both listings agree.
bool enumerateWithLibudev(const QString& sysfsRoot, std::vector<SerialDeviceEntry>* out, QString* whyNot) {
  UdevPtr context(udev_new());
  if (!context) {
    *whyNot = QStringLiteral("udev_new failed: %1").arg(errnoText(errno));
    return false;
  }
  EnumeratePtr enumeration(udev_enumerate_new(context.get()));
  if (!enumeration) {
    *whyNot = QStringLiteral("udev_enumerate_new failed: %1").arg(errnoText(errno));
    return false;
  }
  if (int r = udev_enumerate_add_match_subsystem(enumeration.get(), "tty"); r < 0) {
    *whyNot = QStringLiteral("cannot match the tty subsystem: %1").arg(errnoText(-r));
    return false;
  }
  if (int r = udev_enumerate_scan_devices(enumeration.get()); r < 0) {
    *whyNot = QStringLiteral("udev_enumerate_scan_devices failed: %1").arg(errnoText(-r));
    return false;
  }
  std::vector<SerialDeviceEntry> found;
  for (udev_list_entry* item = udev_enumerate_get_list_entry(enumeration.get()); item;
       item = udev_list_entry_get_next(item)) {
    DevicePtr device(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(item)));
    if (!device) continue;  // gone since the scan
    const TtyClassification c = classifyTtyDevice(sysfsRoot, fromC(udev_device_get_sysname(device.get())));
    if (!c.isSerialPort()) continue;
    SerialDeviceEntry entry = serialDeviceEntryFor(c);
    if (const QString node = fromC(udev_device_get_devnode(device.get())); !node.isEmpty()) {
      entry.calloutPath = node;
      entry.dialinPath = node;
      if (entry.adapterIdentity.startsWith(QLatin1String("path:")))
        entry.adapterIdentity = QStringLiteral("path:") + node;
    }
    found.push_back(std::move(entry));
  }
  std::sort(found.begin(), found.end(),
            [](const SerialDeviceEntry& x, const SerialDeviceEntry& y) { return ttyNameLess(x.ttyName, y.ttyName); });
  *out = std::move(found);
  return true;
}

// Runs fn on the main thread and waits for it. The mutex handshake around the
// blocking hand-off orders the caller's writes before fn and fn's after the
// return in a way ThreadSanitizer can see; Qt's own hand-off synchronises
// through futexes it cannot.
bool runOnMainThread(const std::function<void()>& fn) {
  if (mainthread::isMainThread()) {
    fn();
    return true;
  }
  auto gate = std::make_shared<std::mutex>();
  { std::lock_guard publish(*gate); }
  const bool ran = mainthread::runAndWait([gate, &fn] {
    std::lock_guard hold(*gate);
    fn();
  });
  { std::lock_guard collect(*gate); }
  return ran;
}

}  // namespace

struct UdevDeviceBackend::Impl {
  explicit Impl(UdevBackendOptions o) : options(std::move(o)), tracker(options.sysfsRoot) {}

  UdevBackendOptions options;

  mutable std::mutex mutex;  // guards tracker and the enumeration source
  TtyHotplugTracker tracker;
  QString enumerationSource;

  // Main thread only.
  UdevPtr monitorContext;
  MonitorPtr monitor;
  std::unique_ptr<QSocketNotifier> notifier;
  ChangeHandler handler;
  bool dispatching = false;

  bool start(ChangeHandler h, QString* whyNot);
  void stop();
  void readEvents();
};

bool UdevDeviceBackend::Impl::start(ChangeHandler h, QString* whyNot) {
  stop();
  auto fail = [whyNot](const QString& reason) {
    if (whyNot) *whyNot = reason;
    return false;
  };
  // Without the daemon the kernel's own events are not re-broadcast, and
  // libudev would hand back a monitor that never speaks: say so instead.
  if (::access(QFile::encodeName(options.udevControlPath).constData(), F_OK) != 0) {
    return fail(QStringLiteral("no udev daemon is running (%1 is missing)").arg(options.udevControlPath));
  }
  UdevPtr context(udev_new());
  if (!context) return fail(QStringLiteral("udev_new failed: %1").arg(errnoText(errno)));
  MonitorPtr m(udev_monitor_new_from_netlink(context.get(), "udev"));
  if (!m) return fail(QStringLiteral("cannot open the udev monitor: %1").arg(errnoText(errno)));
  if (int r = udev_monitor_filter_add_match_subsystem_devtype(m.get(), "tty", nullptr); r < 0) {
    return fail(QStringLiteral("cannot filter the udev monitor on tty: %1").arg(errnoText(-r)));
  }
  if (int r = udev_monitor_enable_receiving(m.get()); r < 0) {
    return fail(QStringLiteral("cannot start the udev monitor: %1").arg(errnoText(-r)));
  }
  const int fd = udev_monitor_get_fd(m.get());
  if (fd < 0) return fail(QStringLiteral("the udev monitor has no socket"));
  monitorContext = std::move(context);
  monitor = std::move(m);
  handler = std::move(h);
  notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] { readEvents(); });
  return true;
}

void UdevDeviceBackend::Impl::stop() {
  if (notifier) {
    notifier->setEnabled(false);
    // Deleting a notifier from inside its own signal is not allowed.
    if (dispatching) {
      notifier.release()->deleteLater();
    } else {
      notifier.reset();
    }
  }
  monitor.reset();
  monitorContext.reset();
  handler = nullptr;
}

void UdevDeviceBackend::Impl::readEvents() {
  if (!monitor) return;
  std::vector<TtyEvent> events;
  // The socket is non-blocking: drain everything queued so that devices that
  // came together (a multi-port adapter) arrive in one batch.
  while (DevicePtr device{udev_monitor_receive_device(monitor.get())}) {
    TtyEvent ev;
    ev.action = TtyEvent::actionFromName(fromC(udev_device_get_action(device.get())));
    ev.syspath = fromC(udev_device_get_syspath(device.get()));
    ev.kernelName = fromC(udev_device_get_sysname(device.get()));
    events.push_back(std::move(ev));
  }
  TtyBatch batch;
  {
    std::lock_guard lock(mutex);
    batch = tracker.take(events);
  }
  if (batch.empty() || !handler) return;
  const ChangeHandler h = handler;  // the handler may stop watching
  dispatching = true;
  h(batch.arrived, batch.departed);
  dispatching = false;
}

UdevDeviceBackend::UdevDeviceBackend(UdevBackendOptions options) : d(std::make_unique<Impl>(std::move(options))) {}

UdevDeviceBackend::~UdevDeviceBackend() {
  // The notifier belongs to the main thread; without its event loop (at
  // shutdown) there is nobody left to race with.
  if (!runOnMainThread([this] { d->stop(); })) d->stop();
}

QString UdevDeviceBackend::sourceName() const {
  return QStringLiteral("udev");
}

std::vector<SerialDeviceEntry> UdevDeviceBackend::enumerate() {
  std::vector<SerialDeviceEntry> found;
  QString source;
  QString whyNotLibudev;
  if (d->options.sysfsRoot == kDefaultSysfsRoot && enumerateWithLibudev(d->options.sysfsRoot, &found, &whyNotLibudev)) {
    source = QStringLiteral("libudev");
  } else {
    found = scanSysfsTtyDevices(d->options.sysfsRoot);
    source = QStringLiteral("sysfs scan");
  }
  std::lock_guard lock(d->mutex);
  d->tracker.remember(found);
  if (source != d->enumerationSource) {
    d->enumerationSource = source;
    if (source == QLatin1String("libudev")) {
      log("udev: listing serial devices through libudev");
    } else if (!whyNotLibudev.isEmpty()) {
      log("udev: libudev cannot list devices (%@); scanning %@/class/tty instead", whyNotLibudev, d->options.sysfsRoot);
    } else {
      log("udev: scanning %@/class/tty for serial devices", d->options.sysfsRoot);
    }
  }
  return found;
}

bool UdevDeviceBackend::startWatching(ChangeHandler handler, QString* whyNot) {
  bool started = false;
  QString reason;
  if (!runOnMainThread([&] { started = d->start(std::move(handler), &reason); })) {
    reason = QStringLiteral("the main thread's event loop is not available");
  }
  if (!started && whyNot) *whyNot = reason;
  return started;
}

void UdevDeviceBackend::stopWatching() {
  runOnMainThread([this] { d->stop(); });
}

QString UdevDeviceBackend::enumerationSource() const {
  std::lock_guard lock(d->mutex);
  return d->enumerationSource;
}

bool UdevDeviceBackend::isWatching() const {
  return d->monitor != nullptr;
}

}  // namespace ostrel::platform
