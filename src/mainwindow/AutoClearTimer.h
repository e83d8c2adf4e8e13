#pragma once
// "Auto Clear Ghost": a fast refresh sent every N seconds from a thread of its
// own, so that it keeps its rhythm whatever the window is doing. The first
// refresh goes out at once when the timer is armed.

#include "common/BackgroundTimer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace ostrel {

class AutoClearTimer {
 public:
  explicit AutoClearTimer(std::function<void()> refresh);
  ~AutoClearTimer();
  AutoClearTimer(const AutoClearTimer&) = delete;
  AutoClearTimer& operator=(const AutoClearTimer&) = delete;

  // 0 stops the timer; any other period re-arms it (one refresh at once).
  void setAutoClearGhostDelay(std::int32_t delay);
  bool isRunning() const;

 private:
  std::function<void()> refresh_;
  mutable std::mutex mutex_;
  std::unique_ptr<BackgroundTimer> global_timer;
};

}  // namespace ostrel
