#include "serial/PelSerialPortQueue.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace ostrel {

struct PelSerialPortQueue::State {
  using Clock = std::chrono::steady_clock;
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Task> tasks;
  std::multimap<Clock::time_point, std::pair<TimerId, Task>> timers;
  TimerId nextTimer = 1;
  bool stop = false;
  std::thread thread;
  std::thread::id threadId;

  void run() {
    std::unique_lock lock(mutex);
    for (;;) {
      if (stop) return;
      const auto now = Clock::now();
      while (!timers.empty() && timers.begin()->first <= now) {
        tasks.push_back(std::move(timers.begin()->second.second));
        timers.erase(timers.begin());
      }
      if (!tasks.empty()) {
        {
          Task task = std::move(tasks.front());
          tasks.pop_front();
          lock.unlock();
          task();
        }  // the task's captures go before the lock is taken again
        lock.lock();
        continue;
      }
      if (timers.empty()) wake.wait(lock);
      else wake.wait_until(lock, timers.begin()->first);
    }
  }
};

PelSerialPortQueue::PelSerialPortQueue(QString label) : label_(std::move(label)), state_(std::make_shared<State>()) {}

PelSerialPortQueue::~PelSerialPortQueue() {
  std::thread thread;
  std::deque<Task> dropped;
  std::multimap<State::Clock::time_point, std::pair<TimerId, Task>> droppedTimers;
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
    thread = std::move(state_->thread);
    dropped.swap(state_->tasks);
    droppedTimers.swap(state_->timers);
  }
  state_->wake.notify_all();
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id()) thread.detach();
  else thread.join();
}

void PelSerialPortQueue::ensureThread() {
  // Called with the state's mutex held.
  if (state_->thread.joinable() || state_->stop) return;
  std::shared_ptr<State> state = state_;
  state_->thread = std::thread([state] { state->run(); });
  state_->threadId = state_->thread.get_id();
}

void PelSerialPortQueue::post(Task task) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->stop) return;
    ensureThread();
    state_->tasks.push_back(std::move(task));
  }
  state_->wake.notify_one();
}

void PelSerialPortQueue::runAndWait(const Task& task) {
  if (isCurrent()) {
    task();
    return;
  }
  std::mutex doneMutex;
  std::condition_variable doneWake;
  bool done = false;
  post([&] {
    task();
    std::lock_guard lock(doneMutex);
    done = true;
    doneWake.notify_all();
  });
  std::unique_lock lock(doneMutex);
  doneWake.wait(lock, [&] { return done; });
}

PelSerialPortQueue::TimerId PelSerialPortQueue::postAfter(std::chrono::nanoseconds delay, Task task) {
  TimerId id = 0;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->stop) return 0;
    ensureThread();
    id = state_->nextTimer++;
    const auto when = State::Clock::now() + std::chrono::duration_cast<State::Clock::duration>(delay);
    state_->timers.emplace(when, std::make_pair(id, std::move(task)));
  }
  state_->wake.notify_one();
  return id;
}

void PelSerialPortQueue::cancelTimer(TimerId timer) {
  Task dropped;
  std::lock_guard lock(state_->mutex);
  for (auto it = state_->timers.begin(); it != state_->timers.end(); ++it) {
    if (it->second.first == timer) {
      dropped = std::move(it->second.second);
      state_->timers.erase(it);
      return;
    }
  }
}

bool PelSerialPortQueue::isCurrent() const {
  std::lock_guard lock(state_->mutex);
  return state_->thread.joinable() && state_->threadId == std::this_thread::get_id();
}

}  // namespace ostrel
