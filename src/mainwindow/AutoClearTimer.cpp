#include "mainwindow/AutoClearTimer.h"

#include "common/Log.h"

namespace ostrel {

AutoClearTimer::AutoClearTimer(std::function<void()> refresh) : refresh_(std::move(refresh)) {}

AutoClearTimer::~AutoClearTimer() {
  // Quietly: the program's end is not the user switching the timer off.
  std::unique_ptr<BackgroundTimer> running;
  {
    std::lock_guard lock(mutex_);
    running = std::move(global_timer);
  }
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
  if (delay == 0) return;
  if (delay < 0) {
    // A negative period can only come from a hand-edited preference file; it
    // would make the timer fire without pause.
    log("setAutoClearGhostDelay refusing a negative period of %d seconds", delay);
    return;
  }
  auto timer = std::make_unique<BackgroundTimer>(std::chrono::seconds(delay), refresh_);
  std::lock_guard lock(mutex_);
  global_timer = std::move(timer);
}

bool AutoClearTimer::isRunning() const {
  std::lock_guard lock(mutex_);
  return global_timer != nullptr;
}

}  // namespace ostrel
