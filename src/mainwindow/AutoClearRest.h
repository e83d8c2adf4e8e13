#pragma once
// "Pause while idle": Auto Clear's refresh is a flash of the whole panel, worth
// it only while someone looks. The timer rests while the session is locked, or
// while no keyboard or pointer input has arrived for longer than its period
// (and at least the shortest idle time, 60 s unless the preference file says
// otherwise). The monitor's own keys and pointer controls are someone at the
// monitor: they count as input whatever the desktop makes of what Ostrel
// injects for them. Without an idle source and a lock source the timer never
// rests, and the status says why.
//
// Threads: the timer fires on a thread of its own; this object belongs to the
// main thread. The timer's thread only asks decidesOnMainThread(): when that
// is true it hands the tick to the main thread, which asks restsNow() and
// refreshes when the answer is no. noteMonitorInput() may be called from any
// thread (the long-move repeat has one of its own).
//
// What it finds is published in AutoClearStatus (whether the timer rests and
// why, the sources and their sentences), and every change between resting and
// refreshing is logged once.

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace ostrel {
namespace platform {
class IdleMonitor;
class SessionLockMonitor;
}  // namespace platform

// What tells whether anybody is there: either source may be missing, with the
// reason. `idleBackend`, `lockBackend` name them for the status ("x11",
// "mutter", "logind", ...).
struct IdleSources {
  std::unique_ptr<platform::IdleMonitor> idle;
  QString idleBackend;
  QString whyNoIdle;
  std::unique_ptr<platform::SessionLockMonitor> lock;
  QString lockBackend;
  QString whyNoLock;

  IdleSources();
  ~IdleSources();
  IdleSources(IdleSources&&) noexcept;
  IdleSources& operator=(IdleSources&&) noexcept;
};

class AutoClearRest {
 public:
  AutoClearRest();
  ~AutoClearRest();
  AutoClearRest(const AutoClearRest&) = delete;
  AutoClearRest& operator=(const AutoClearRest&) = delete;

  void setSources(IdleSources sources);
  void setPauseWhileIdle(bool on);
  // The running timer's period; 0 while it is off.
  void setPeriod(std::int32_t seconds);
  void setShortestIdle(std::chrono::seconds shortest);

  // How long without input counts as idle: the period, and at least the
  // shortest idle time.
  std::chrono::milliseconds threshold() const;

  // Any thread: the monitor reported a key, a click or a pointer step just now.
  void noteMonitorInput();
  // Any thread: whether a tick must be decided by restsNow() on the main thread
  // (the setting is on and something tells whether anybody is there).
  bool decidesOnMainThread() const { return decidesOnMainThread_.load(); }
  // Main thread, at a tick: true when this tick rests.
  bool restsNow();

 private:
  struct Verdict {
    bool rest = false;
    QString reason;
  };
  Verdict evaluate();
  void publish(const Verdict& verdict);
  void reconsider();
  void armThreshold();
  void updateHandOff();
  bool monitorInputWithinThreshold() const;

  bool pauseWhileIdle_ = true;
  std::int32_t periodSeconds_ = 0;
  std::chrono::seconds shortestIdle_{60};
  bool restingShown_ = false;
  std::atomic<bool> decidesOnMainThread_{false};
  std::atomic<bool> restingShownAnyThread_{false};
  // steady_clock time of the monitor's last input, in nanoseconds.
  std::atomic<std::int64_t> lastMonitorInput_;
  std::shared_ptr<bool> alive_;
  // Last, so that they go first: their handlers reach into this object.
  std::unique_ptr<platform::IdleMonitor> idle_;
  std::unique_ptr<platform::SessionLockMonitor> lock_;
};

}  // namespace ostrel
