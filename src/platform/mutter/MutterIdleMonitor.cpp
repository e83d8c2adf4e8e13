#include "platform/mutter/MutterIdleMonitor.h"

#include "common/Log.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <algorithm>

namespace ostrel::platform {

std::unique_ptr<IdleMonitor> createMutterIdleMonitor(const QDBusConnection& bus, QString* whyNot) {
  return mutter::MutterIdleMonitor::create(bus, whyNot);
}

namespace mutter {
namespace {

const QString kService = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString kPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
const QString kInterface = QStringLiteral("org.gnome.Mutter.IdleMonitor");
constexpr int kCallTimeoutMs = 2000;

QDBusMessage methodCall(const QString& method, const QVariantList& arguments) {
  QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
  message.setArguments(arguments);
  // GNOME Shell is the desktop: nothing to start if it is not there.
  message.setAutoStartService(false);
  return message;
}

}  // namespace

std::unique_ptr<MutterIdleMonitor> MutterIdleMonitor::create(const QDBusConnection& bus, QString* whyNot) {
  if (!bus.isConnected()) {
    if (whyNot) *whyNot = QStringLiteral("GNOME's org.gnome.Mutter.IdleMonitor: there is no session bus");
    return nullptr;
  }
  QDBusConnection connection = bus;
  const QDBusMessage answer =
      connection.call(methodCall(QStringLiteral("GetIdletime"), {}), QDBus::Block, kCallTimeoutMs);
  if (answer.type() != QDBusMessage::ReplyMessage) {
    if (whyNot) {
      const QString error = answer.errorName();
      *whyNot = error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                        error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")
                    ? QStringLiteral("GNOME's org.gnome.Mutter.IdleMonitor is not on the session bus")
                    : QStringLiteral("GNOME's org.gnome.Mutter.IdleMonitor does not answer (%1: %2)")
                          .arg(error, answer.errorMessage());
    }
    return nullptr;
  }
  return std::unique_ptr<MutterIdleMonitor>(new MutterIdleMonitor(bus));
}

MutterIdleMonitor::MutterIdleMonitor(const QDBusConnection& bus) : bus_(bus) {
  bus_.connect(kService, kPath, kInterface, QStringLiteral("WatchFired"), this, SLOT(watchFired(uint)));
  ownerWatch_ = new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(ownerWatch_, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) { ownerChanged(newOwner); });
}

MutterIdleMonitor::~MutterIdleMonitor() {
  bus_.disconnect(kService, kPath, kInterface, QStringLiteral("WatchFired"), this, SLOT(watchFired(uint)));
  removeWatch(idleWatch_);
  removeWatch(activeWatch_);
}

void MutterIdleMonitor::setChangedHandler(std::function<void()> handler) {
  handler_ = std::move(handler);
}

QString MutterIdleMonitor::describe() const {
  return QStringLiteral("GNOME Shell's org.gnome.Mutter.IdleMonitor (it tells when the session goes idle)");
}

void MutterIdleMonitor::setIdleThreshold(std::chrono::milliseconds threshold) {
  const auto next = std::max(threshold, std::chrono::milliseconds(1000));
  if (next == threshold_ && idleWatch_ != 0) return;
  threshold_ = next;
  armWatches();
}

std::optional<bool> MutterIdleMonitor::isIdle() {
  if (!present_) return std::nullopt;
  if (threshold_.count() == 0) return false;
  return idle_;
}

void MutterIdleMonitor::call(const QString& method, const QVariantList& arguments,
                             std::function<void(const QDBusMessage&)> onReply) {
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(methodCall(method, arguments), kCallTimeoutMs), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this,
          [this, pending, generation = generation_, method, onReply = std::move(onReply)] {
            pending->deleteLater();
            const QDBusMessage reply = pending->reply();
            if (reply.type() != QDBusMessage::ReplyMessage) {
              log("GNOME's idle monitor refused %@: %@", method, reply.errorMessage());
              return;
            }
            if (generation == generation_ && onReply) onReply(reply);
          });
}

void MutterIdleMonitor::removeWatch(uint id) {
  if (id == 0 || !present_) return;
  bus_.asyncCall(methodCall(QStringLiteral("RemoveWatch"), {QVariant::fromValue(id)}));
}

void MutterIdleMonitor::armWatches() {
  ++generation_;
  removeWatch(idleWatch_);
  removeWatch(activeWatch_);
  idleWatch_ = activeWatch_ = 0;
  if (threshold_.count() == 0 || !present_) return;
  call(QStringLiteral("AddIdleWatch"), {QVariant::fromValue(static_cast<qulonglong>(threshold_.count()))},
       [this](const QDBusMessage& reply) {
         idleWatch_ = reply.arguments().value(0).toUInt();
         // The watch fires when the idle time reaches the threshold; the
         // session may be past it already.
         call(QStringLiteral("GetIdletime"), {}, [this](const QDBusMessage& idleTime) {
           const bool idle = idleTime.arguments().value(0).toULongLong() >= static_cast<qulonglong>(threshold_.count());
           if (idle && activeWatch_ == 0) watchUserActive();
           setIdle(idle);
         });
       });
}

void MutterIdleMonitor::watchUserActive() {
  call(QStringLiteral("AddUserActiveWatch"), {}, [this](const QDBusMessage& reply) {
    activeWatch_ = reply.arguments().value(0).toUInt();
    // Input between the idle watch firing and this watch existing would go
    // unnoticed until the next: the idle time tells.
    call(QStringLiteral("GetIdletime"), {}, [this](const QDBusMessage& idleTime) {
      if (idleTime.arguments().value(0).toULongLong() >= static_cast<qulonglong>(threshold_.count())) return;
      removeWatch(activeWatch_);
      activeWatch_ = 0;
      setIdle(false);
    });
  });
}

void MutterIdleMonitor::watchFired(uint id) {
  if (id == 0) return;
  if (id == idleWatch_) {
    if (activeWatch_ == 0) watchUserActive();
    setIdle(true);
  } else if (id == activeWatch_) {
    // A user-active watch fires once and is gone.
    activeWatch_ = 0;
    setIdle(false);
  }
}

void MutterIdleMonitor::setIdle(bool idle) {
  if (idle == idle_) return;
  idle_ = idle;
  if (handler_) handler_();
}

void MutterIdleMonitor::ownerChanged(const QString& newOwner) {
  const bool wasPresent = present_;
  present_ = !newOwner.isEmpty();
  if (!present_) {
    log("GNOME's idle monitor left the session bus; the idle time is unknown until it is back");
    ++generation_;
    idleWatch_ = activeWatch_ = 0;
    idle_ = false;
    if (handler_) handler_();
    return;
  }
  if (!wasPresent) {
    log("GNOME's idle monitor is back on the session bus");
    armWatches();
    if (handler_) handler_();
  }
}

}  // namespace mutter
}  // namespace ostrel::platform
