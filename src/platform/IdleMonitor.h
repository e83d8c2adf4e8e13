#pragma once
// Whether anyone is at the session: how long no keyboard or pointer input has
// arrived (idle), and whether the session is locked. Auto Clear rests while
// nobody looks at the screen.
//
// Backends, one per desktop service, chosen at run time: X11's
// MIT-SCREEN-SAVER extension (asked), the Wayland compositor's
// ext_idle_notifier_v1 (tells), GNOME's org.gnome.Mutter.IdleMonitor, the
// desktop's org.freedesktop.ScreenSaver; for the lock, logind's session
// LockedHint or the screensaver's ActiveChanged.
//
// Contract (IdleMonitor):
//  - setIdleThreshold(): from now on the session counts as idle once no input
//    has arrived for at least `threshold` (at least one second). A backend that
//    is told of idleness arms its watch here; one that asks does so in
//    isIdle(). A second call replaces the threshold.
//  - isIdle(): true once idle past the threshold, false once input came back;
//    empty when the backend cannot tell now (its connection was lost). A
//    backend that is told answers from what it was told; one that asks makes
//    one round trip. Before setIdleThreshold() it answers false.
//  - setChangedHandler(): a backend that is told calls it when the answer of
//    isIdle() changes (the threshold was reached, or input came back). One
//    that asks never calls it: its callers ask at their own rhythm.
//  - describe(): one sentence for the log and `ostrelctl status`, naming the
//    source ("ext_idle_notifier_v1 on the Wayland compositor").
// Contract (SessionLockMonitor): isLocked() empty when it cannot tell now; the
// changed handler runs when the lock comes or goes.
// Main thread only, after the QCoreApplication exists; handlers run on it.

#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace ostrel::platform {

class IdleMonitor {
 public:
  virtual ~IdleMonitor() = default;
  virtual void setIdleThreshold(std::chrono::milliseconds threshold) = 0;
  virtual std::optional<bool> isIdle() = 0;
  virtual void setChangedHandler(std::function<void()> handler) { (void)handler; }
  virtual QString describe() const = 0;
};

class SessionLockMonitor {
 public:
  virtual ~SessionLockMonitor() = default;
  virtual std::optional<bool> isLocked() = 0;
  virtual void setChangedHandler(std::function<void()> handler) = 0;
  virtual QString describe() const = 0;
};

}  // namespace ostrel::platform
