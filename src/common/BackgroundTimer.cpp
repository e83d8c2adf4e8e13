#include "common/BackgroundTimer.h"

#include <pthread.h>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace ostrel {

struct BackgroundTimer::State {
  std::mutex mutex;
  std::condition_variable wake;
  bool cancelled = false;
  std::thread thread;
};

BackgroundTimer::BackgroundTimer(std::chrono::milliseconds interval, Handler handler)
    : state_(std::make_shared<State>()), interval_(interval) {
  // The thread owns a reference to the state, not to this object, so the object
  // may go away while a call is running.
  state_->thread = std::thread([state = state_, interval, handler = std::move(handler)] {
    auto next = std::chrono::steady_clock::now();
    std::unique_lock lock(state->mutex);
    while (!state->cancelled) {
      lock.unlock();
      handler();
      lock.lock();
      if (interval.count() <= 0) break;
      next += interval;
      // A handler slower than the interval does not make calls pile up.
      const auto now = std::chrono::steady_clock::now();
      if (next < now) next = now;
      state->wake.wait_until(lock, next, [&] { return state->cancelled; });
    }
  });
  // Named by its creator: the name is there as soon as the timer exists.
  ::pthread_setname_np(state_->thread.native_handle(), "ostrel-timer");
}

BackgroundTimer::~BackgroundTimer() {
  cancel();
  if (state_->thread.joinable()) {
    if (state_->thread.get_id() == std::this_thread::get_id()) {
      state_->thread.detach();
    } else {
      state_->thread.join();
    }
  }
}

void BackgroundTimer::cancel() {
  {
    std::lock_guard lock(state_->mutex);
    state_->cancelled = true;
  }
  state_->wake.notify_all();
  // Waiting for a running call keeps the promise that nothing runs after cancel.
  if (state_->thread.joinable() && state_->thread.get_id() != std::this_thread::get_id()) {
    state_->thread.join();
  }
}

bool BackgroundTimer::isCancelled() const {
  std::lock_guard lock(state_->mutex);
  return state_->cancelled;
}

}  // namespace ostrel
