#include "mainwindow/AutoClearTimer.h"

#include "common/Log.h"
#include "common/MainThread.h"

namespace ostrel {

AutoClearTimer::AutoClearTimer(std::function<void()> refresh, Rest rest)
    : refresh_(std::move(refresh)), rest_(std::move(rest)), mainSide_(std::make_shared<MainThreadSide>()) {
  mainSide_->refresh = refresh_;
  mainSide_->restsNow = rest_.restsNow;
}

AutoClearTimer::~AutoClearTimer() {
  // Quietly: the program's end is not the user switching the timer off.
  std::unique_ptr<BackgroundTimer> running;
  {
    std::lock_guard lock(mutex_);
    running = std::move(global_timer);
  }
  running.reset();
  // Ticks still queued for the main thread find nothing.
  mainSide_.reset();
}

void AutoClearTimer::setAutoClearGhostDelay(std::int32_t delay) {
  log("setAutoClearGhostDelay delay = %d", delay);
  std::unique_ptr<BackgroundTimer> previous;
  {
    std::lock_guard lock(mutex_);
    if (global_timer) {
      log("setAutoClearGhostDelay");
      previous = std::move(global_timer);
    }
  }
  // Stopping waits for a refresh in flight; do it outside the lock.
  previous.reset();
  // A tick the old timer handed over but the main thread has not reached yet
  // belongs to the old rhythm.
  const std::uint64_t generation = ++mainSide_->generation;
  if (delay == 0) return;
  if (delay < 0) {
    // A negative period can only come from a hand-edited preference file; it
    // would make the timer fire without pause.
    log("setAutoClearGhostDelay refusing a negative period of %d seconds", delay);
    return;
  }
  auto tick = [refresh = refresh_, decides = rest_.decidesOnMainThread, side = std::weak_ptr<MainThreadSide>(mainSide_),
               generation] {
    if (!decides || !decides()) {
      refresh();
      return;
    }
    mainthread::post([side, generation] {
      const std::shared_ptr<MainThreadSide> s = side.lock();
      if (!s || s->generation != generation) return;
      if (s->restsNow && s->restsNow()) return;
      s->refresh();
    });
  };
  auto timer = std::make_unique<BackgroundTimer>(std::chrono::seconds(delay), std::move(tick));
  std::lock_guard lock(mutex_);
  global_timer = std::move(timer);
}

bool AutoClearTimer::isRunning() const {
  std::lock_guard lock(mutex_);
  return global_timer != nullptr;
}

}  // namespace ostrel
