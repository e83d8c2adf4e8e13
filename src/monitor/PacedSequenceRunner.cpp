#include "PacedSequenceRunner.h"

#include "common/MainThread.h"

#include <algorithm>

namespace ostrel {

using Clock = std::chrono::steady_clock;

struct PacedSequenceRunner::Queue : std::enable_shared_from_this<Queue> {
  std::deque<PacedStep> steps;
  Clock::time_point notBefore{};
  bool pumping = false;
  bool cancelled = false;
  QTimer timer;

  void append(std::vector<PacedStep> more) {
    for (PacedStep& s : more) steps.push_back(std::move(s));
    pump();
  }

  void pump() {
    // A step that starts another sequence lands here again: its steps are in the
    // queue already and this loop picks them up in turn.
    if (pumping || cancelled) return;
    // A step may destroy the runner that runs it; keep the queue alive until the
    // loop has noticed.
    const std::shared_ptr<Queue> self = shared_from_this();
    pumping = true;
    while (!steps.empty() && !cancelled) {
      const Clock::time_point now = Clock::now();
      if (now < notBefore) {
        // Round up so that a timer firing on the millisecond never finds us early.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(notBefore - now);
        timer.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 1)));
        break;
      }
      PacedStep step = std::move(steps.front());
      steps.pop_front();
      if (step.action) step.action();
      notBefore = Clock::now() + std::chrono::milliseconds(std::max(step.waitAfterMs, 0));
    }
    pumping = false;
  }
};

PacedSequenceRunner::PacedSequenceRunner() : queue_(std::make_shared<Queue>()) {
  queue_->timer.setSingleShot(true);
  queue_->timer.setTimerType(Qt::PreciseTimer);
  Queue* q = queue_.get();
  QObject::connect(&queue_->timer, &QTimer::timeout, [q] { q->pump(); });
}

PacedSequenceRunner::~PacedSequenceRunner() {
  queue_->cancelled = true;
  queue_->steps.clear();
  queue_->timer.stop();
  // The runner may go away inside a step released by the queue's own timer; the
  // timer is then still delivering its signal, so let the event loop free it.
  mainthread::post([doomed = std::move(queue_)] {});
}

void PacedSequenceRunner::run(std::vector<PacedStep> steps) {
  if (mainthread::isMainThread()) {
    queue_->append(std::move(steps));
    return;
  }
  std::weak_ptr<Queue> weak = queue_;
  mainthread::post([weak, steps = std::move(steps)]() mutable {
    if (const auto q = weak.lock()) q->append(std::move(steps));
  });
}

std::size_t PacedSequenceRunner::pendingStepCount() const { return queue_->steps.size(); }

}  // namespace ostrel
