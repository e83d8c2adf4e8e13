#pragma once
// A serial queue of work for one port: tasks run one at a time, in the order they
// were posted, on a thread of the queue's own (started on first use, so an idle
// port costs no thread). Delayed tasks serve as the request time-out timer.
//
// Contract:
//  - post(): run later, in order. runAndWait(): run and return when done; runs
//    at once when called on the queue's own thread.
//  - postAfter(): run once after the delay unless cancelTimer() came first; a
//    delayed task runs in order with the others.
//  - Destruction drops tasks that have not started and waits for a running one
//    (when called from a task of this very queue, the thread finishes on its
//    own). Tasks may therefore refer to the owner as long as the owner destroys
//    the queue first.

#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace ostrel {

class PelSerialPortQueue {
 public:
  using Task = std::function<void()>;
  using TimerId = std::uint64_t;

  explicit PelSerialPortQueue(QString label);
  ~PelSerialPortQueue();
  PelSerialPortQueue(const PelSerialPortQueue&) = delete;
  PelSerialPortQueue& operator=(const PelSerialPortQueue&) = delete;

  QString label() const { return label_; }
  void post(Task task);
  void runAndWait(const Task& task);
  TimerId postAfter(std::chrono::nanoseconds delay, Task task);
  void cancelTimer(TimerId timer);
  bool isCurrent() const;

 private:
  struct State;
  void ensureThread();
  QString label_;
  std::shared_ptr<State> state_;
};

}  // namespace ostrel
