#pragma once
// Idle time from the Wayland compositor's ext_idle_notifier_v1: the compositor
// tells when no input has come for the threshold (idled) and when input came
// back (resumed). A program that inhibits idleness (a video player) keeps the
// session from counting as idle, as it keeps the screen on: someone watches.
//
// setIdleThreshold() makes a new notification with the new timeout; the
// compositor counts from then on, so the session is not idle right after it.
// Once the connection is lost, isIdle() is empty and the changed handler runs.
// Main thread only.

#include "platform/IdleMonitor.h"
#include "platform/wayland/WaylandConnection.h"

#include <memory>

struct ext_idle_notification_v1;
struct ext_idle_notifier_v1;
struct wl_seat;

namespace ostrel::platform::wayland {

class WaylandIdleMonitor final : public IdleMonitor {
 public:
  // Null with a reason when the compositor offers no ext_idle_notifier_v1.
  static std::unique_ptr<WaylandIdleMonitor> create(QString* whyNot);
  ~WaylandIdleMonitor() override;

  void setIdleThreshold(std::chrono::milliseconds threshold) override;
  std::optional<bool> isIdle() override;
  void setChangedHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
  QString describe() const override;

 private:
  explicit WaylandIdleMonitor(std::unique_ptr<WaylandConnection> connection);
  void setIdle(bool idle);
  // The handler runs from the event loop, never from inside libwayland's
  // dispatch, so it may do anything (even destroy this monitor).
  void changedSoon();

  static void onIdled(void* data, ext_idle_notification_v1* notification);
  static void onResumed(void* data, ext_idle_notification_v1* notification);

  std::unique_ptr<WaylandConnection> connection_;
  // Queued handler calls hold it weakly: they are dropped once the monitor is gone.
  std::shared_ptr<WaylandIdleMonitor*> self_;
  WaylandProxy<wl_seat> seat_;
  WaylandProxy<ext_idle_notifier_v1> notifier_;
  WaylandProxy<ext_idle_notification_v1> notification_;
  bool idle_ = false;
  std::function<void()> handler_;
};

}  // namespace ostrel::platform::wayland
