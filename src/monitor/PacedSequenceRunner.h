#pragma once
// Runs spaced steps on the main thread without ever sleeping on it.
//
// The monitor needs time between commands (0.33 s after each read-parameter
// request, for instance). Rather than block the event loop, steps wait in a queue
// and a timer releases them.
//
// Contract:
//  - run() appends the steps; they run in order on the main thread, one after
//    another, sequences queued behind each other.
//  - After a step, the next step (of this sequence or a later one) starts no
//    earlier than waitAfterMs after the step's action returned.
//  - When the queue is idle and run() is called on the main thread, the first
//    step runs before run() returns; called from inside a step, or from another
//    thread, the steps run later from the event loop.
//  - Nothing blocks: events, replies and other work are handled during the waits.
//  - Destroying the runner drops the steps that have not run.

#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace ostrel {

struct PacedStep {
  std::function<void()> action;
  int waitAfterMs = 0;
};

class PacedSequenceRunner {
 public:
  PacedSequenceRunner();
  ~PacedSequenceRunner();
  PacedSequenceRunner(const PacedSequenceRunner&) = delete;
  PacedSequenceRunner& operator=(const PacedSequenceRunner&) = delete;

  void run(std::vector<PacedStep> steps);

  // Steps waiting to run (main thread).
  std::size_t pendingStepCount() const;

 private:
  struct Queue;
  std::shared_ptr<Queue> queue_;
};

}  // namespace ostrel
