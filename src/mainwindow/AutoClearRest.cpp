#include "mainwindow/AutoClearRest.h"

#include "common/AutoClearStatus.h"
#include "common/Log.h"
#include "common/MainThread.h"
#include "platform/IdleMonitor.h"

#include <algorithm>
#include <limits>

namespace ostrel {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

}  // namespace

AutoClearRest::AutoClearRest()
    : lastMonitorInput_(std::numeric_limits<std::int64_t>::min()), alive_(std::make_shared<bool>(true)) {}

AutoClearRest::~AutoClearRest() {
  // The sources' handlers and queued reconsiderations must not outlive us.
  alive_.reset();
  idle_.reset();
  lock_.reset();
}

IdleSources::IdleSources() = default;
IdleSources::~IdleSources() = default;
IdleSources::IdleSources(IdleSources&&) noexcept = default;
IdleSources& IdleSources::operator=(IdleSources&&) noexcept = default;

void AutoClearRest::setSources(IdleSources sources) {
  idle_ = std::move(sources.idle);
  lock_ = std::move(sources.lock);
  if (idle_) idle_->setChangedHandler([this] { reconsider(); });
  if (lock_) lock_->setChangedHandler([this] { reconsider(); });
  const AutoClearSource idleState{idle_ ? sources.idleBackend : QString(),
                                  idle_ ? idle_->describe() : sources.whyNoIdle};
  const AutoClearSource lockState{lock_ ? sources.lockBackend : QString(),
                                  lock_ ? lock_->describe() : sources.whyNoLock};
  AutoClearStatus::shared().setSources(idleState, lockState);
  log("Idle time for Auto Clear Ghost: %@",
      idle_ ? idleState.detail : QStringLiteral("none (%1)").arg(idleState.detail));
  log("Session lock for Auto Clear Ghost: %@",
      lock_ ? lockState.detail : QStringLiteral("none (%1)").arg(lockState.detail));
  armThreshold();
  updateHandOff();
  reconsider();
}

void AutoClearRest::setPauseWhileIdle(bool on) {
  pauseWhileIdle_ = on;
  armThreshold();
  updateHandOff();
  reconsider();
}

void AutoClearRest::setPeriod(std::int32_t seconds) {
  periodSeconds_ = std::max(seconds, 0);
  armThreshold();
  updateHandOff();
  reconsider();
}

void AutoClearRest::setShortestIdle(std::chrono::seconds shortest) {
  shortestIdle_ = std::max(shortest, std::chrono::seconds(1));
  armThreshold();
  reconsider();
}

std::chrono::milliseconds AutoClearRest::threshold() const {
  return std::max<std::chrono::milliseconds>(std::chrono::seconds(periodSeconds_), shortestIdle_);
}

void AutoClearRest::armThreshold() {
  // A source that is told of idleness watches for exactly this span; nothing
  // is watched while the timer does not run or may not rest.
  if (idle_ && pauseWhileIdle_ && periodSeconds_ > 0) idle_->setIdleThreshold(threshold());
}

void AutoClearRest::updateHandOff() {
  decidesOnMainThread_ = pauseWhileIdle_ && periodSeconds_ > 0 && (idle_ || lock_);
}

bool AutoClearRest::monitorInputWithinThreshold() const {
  const std::int64_t last = lastMonitorInput_.load();
  if (last == std::numeric_limits<std::int64_t>::min()) return false;
  return nowNs() - last < std::chrono::duration_cast<std::chrono::nanoseconds>(threshold()).count();
}

void AutoClearRest::noteMonitorInput() {
  lastMonitorInput_ = nowNs();
  // While resting, the status turns at once; otherwise nothing is queued, so
  // every pointer step of a long move costs no more than the store above.
  if (!restingShownAnyThread_.exchange(false)) return;
  std::weak_ptr<bool> alive = alive_;
  mainthread::post([this, alive] {
    if (alive.lock()) reconsider();
  });
}

AutoClearRest::Verdict AutoClearRest::evaluate() {
  if (!pauseWhileIdle_ || periodSeconds_ <= 0) return {};
  if (!idle_ && !lock_) return {false, QStringLiteral("neither the idle time nor the lock of the session can be read")};
  if (lock_ && lock_->isLocked().value_or(false)) return {true, QStringLiteral("the session is locked")};
  if (!idle_) return {};
  // The monitor's keys are someone at the monitor, whatever the desktop saw.
  if (monitorInputWithinThreshold()) return {};
  const std::optional<bool> idle = idle_->isIdle();
  if (!idle) return {false, QStringLiteral("the idle time cannot be read now")};
  if (!*idle) return {};
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(threshold()).count();
  return {true, QStringLiteral("no keyboard or pointer input for %1 s").arg(seconds)};
}

void AutoClearRest::publish(const Verdict& verdict) {
  if (verdict.rest != restingShown_) {
    restingShown_ = verdict.rest;
    if (verdict.rest) {
      log("Auto Clear Ghost rests: %@", verdict.reason);
    } else {
      log("Auto Clear Ghost refreshes again");
    }
  }
  restingShownAnyThread_ = verdict.rest;
  AutoClearStatus::shared().setResting(verdict.rest, verdict.reason);
}

void AutoClearRest::reconsider() {
  publish(evaluate());
}

bool AutoClearRest::restsNow() {
  const Verdict verdict = evaluate();
  publish(verdict);
  return verdict.rest;
}

}  // namespace ostrel
