#include "platform/wayland/WaylandIdleMonitor.h"

#include "common/Log.h"
#include "common/MainThread.h"

#include <ext-idle-notify-v1-client.h>
#include <wayland-client.h>
#include <algorithm>
#include <limits>

namespace ostrel::platform::wayland {
namespace {

constexpr std::chrono::milliseconds kShortestThreshold{1'000};

}  // namespace

std::unique_ptr<WaylandIdleMonitor> WaylandIdleMonitor::create(QString* whyNot) {
  std::unique_ptr<WaylandConnection> connection = WaylandConnection::open(whyNot);
  if (!connection) return nullptr;
  if (!connection->offers(ext_idle_notifier_v1_interface) || !connection->offers(wl_seat_interface)) {
    if (whyNot) {
      *whyNot = QStringLiteral(
          "the Wayland compositor offers no ext_idle_notifier_v1 to tell when nobody is at the session (sway "
          "offers it from 1.8 on)");
    }
    return nullptr;
  }
  std::unique_ptr<WaylandIdleMonitor> monitor(new WaylandIdleMonitor(std::move(connection)));
  if (!monitor->seat_ || !monitor->notifier_) {
    if (whyNot) *whyNot = QStringLiteral("the Wayland compositor's ext_idle_notifier_v1 could not be bound");
    return nullptr;
  }
  return monitor;
}

WaylandIdleMonitor::WaylandIdleMonitor(std::unique_ptr<WaylandConnection> connection)
    : connection_(std::move(connection)),
      self_(std::make_shared<WaylandIdleMonitor*>(this)),
      seat_(ownProxy(connection_->bind<wl_seat>(wl_seat_interface, 1), wl_seat_destroy)),
      notifier_(ownProxy(connection_->bind<ext_idle_notifier_v1>(ext_idle_notifier_v1_interface, 1),
                         ext_idle_notifier_v1_destroy)),
      notification_(noProxy<ext_idle_notification_v1>()) {
  connection_->setLossHandler([this] {
    log("Idle time can no longer be told: %@", describe());
    changedSoon();
  });
}

WaylandIdleMonitor::~WaylandIdleMonitor() {
  notification_.reset();
  notifier_.reset();
  seat_.reset();
}

QString WaylandIdleMonitor::describe() const {
  return QStringLiteral("ext_idle_notifier_v1 on the Wayland compositor");
}

void WaylandIdleMonitor::setIdleThreshold(std::chrono::milliseconds threshold) {
  if (connection_->lost()) return;
  static const ext_idle_notification_v1_listener listener{.idled = onIdled, .resumed = onResumed};
  const auto timeout = std::clamp<std::chrono::milliseconds::rep>(std::max(threshold, kShortestThreshold).count(), 0,
                                                                  std::numeric_limits<std::uint32_t>::max());
  // The old notification's events are not this threshold's: it goes first.
  notification_.reset();
  notification_ = ownProxy(
      ext_idle_notifier_v1_get_idle_notification(notifier_.get(), static_cast<std::uint32_t>(timeout), seat_.get()),
      ext_idle_notification_v1_destroy);
  if (notification_) ext_idle_notification_v1_add_listener(notification_.get(), &listener, this);
  connection_->flush();
  setIdle(false);
}

std::optional<bool> WaylandIdleMonitor::isIdle() {
  if (connection_->lost()) return std::nullopt;
  return idle_;
}

void WaylandIdleMonitor::onIdled(void* data, ext_idle_notification_v1* notification) {
  auto* self = static_cast<WaylandIdleMonitor*>(data);
  if (notification == self->notification_.get()) self->setIdle(true);
}

void WaylandIdleMonitor::onResumed(void* data, ext_idle_notification_v1* notification) {
  auto* self = static_cast<WaylandIdleMonitor*>(data);
  if (notification == self->notification_.get()) self->setIdle(false);
}

void WaylandIdleMonitor::setIdle(bool idle) {
  if (idle_ == idle) return;
  idle_ = idle;
  changedSoon();
}

void WaylandIdleMonitor::changedSoon() {
  mainthread::post([self = std::weak_ptr<WaylandIdleMonitor*>(self_)] {
    const std::shared_ptr<WaylandIdleMonitor*> monitor = self.lock();
    if (!monitor) return;
    // A copy: the handler may destroy the monitor, and with it handler_.
    const std::function<void()> handler = (*monitor)->handler_;
    if (handler) handler();
  });
}

}  // namespace ostrel::platform::wayland
