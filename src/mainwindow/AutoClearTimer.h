#pragma once
// "Auto Clear Ghost": a fast refresh sent every N seconds from a thread of its
// own, so that it keeps its rhythm whatever the window is doing. The first
// refresh goes out at once when the timer is armed.
//
// A tick may rest instead (nobody is there, see AutoClearRest): when the rest
// says a tick needs deciding, the timer's thread hands it to the main thread,
// where the question is asked and the refresh sent. A tick handed over before
// the timer was stopped or re-armed does nothing once it arrives.

#include "common/BackgroundTimer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace ostrel {

class AutoClearTimer {
 public:
  struct Rest {
    std::function<bool()> decidesOnMainThread;  // any thread
    std::function<bool()> restsNow;             // main thread: true skips this tick
  };

  explicit AutoClearTimer(std::function<void()> refresh, Rest rest = {});
  ~AutoClearTimer();
  AutoClearTimer(const AutoClearTimer&) = delete;
  AutoClearTimer& operator=(const AutoClearTimer&) = delete;

  // 0 stops the timer; any other period re-arms it (one refresh at once).
  // Main thread.
  void setAutoClearGhostDelay(std::int32_t delay);
  bool isRunning() const;

 private:
  // What a handed-over tick finds on the main thread; only touched there.
  struct MainThreadSide {
    std::function<void()> refresh;
    std::function<bool()> restsNow;
    std::uint64_t generation = 0;
  };

  std::function<void()> refresh_;
  Rest rest_;
  std::shared_ptr<MainThreadSide> mainSide_;
  mutable std::mutex mutex_;
  std::unique_ptr<BackgroundTimer> global_timer;
};

}  // namespace ostrel
