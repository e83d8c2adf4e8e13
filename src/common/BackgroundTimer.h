#pragma once
// A repeating timer that fires on a thread of its own, so that its work goes on
// while the main thread is busy: first at once, then every interval.
//
// Contract:
//  - The handler runs on the timer's thread, never two calls at once.
//  - cancel() from another thread: returns after any running call has finished;
//    no call starts afterwards. From inside the handler: no further call starts.
//  - Destruction cancels. Destroying the timer from inside its own handler is
//    allowed (the thread then finishes on its own).
//  - The thread is named "ostrel-timer" (/proc/PID/task/TID/comm).

#include <chrono>
#include <functional>
#include <memory>

namespace ostrel {

class BackgroundTimer {
 public:
  using Handler = std::function<void()>;

  BackgroundTimer(std::chrono::milliseconds interval, Handler handler);
  ~BackgroundTimer();
  BackgroundTimer(const BackgroundTimer&) = delete;
  BackgroundTimer& operator=(const BackgroundTimer&) = delete;

  void cancel();
  bool isCancelled() const;
  std::chrono::milliseconds interval() const { return interval_; }

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::chrono::milliseconds interval_;
};

}  // namespace ostrel
