#include "common/AutoClearStatus.h"

#include "common/NotificationCenter.h"

namespace ostrel {

const QString AutoClearStatusDidChangeNotification = QStringLiteral("OstrelAutoClearStatusDidChangeNotification");

AutoClearStatus& AutoClearStatus::shared() {
  static AutoClearStatus* const status = new AutoClearStatus();
  return *status;
}

void AutoClearStatus::setPeriod(std::int32_t seconds) {
  AutoClearState next = state_;
  next.periodSeconds = seconds;
  update(next);
}

void AutoClearStatus::setSettings(bool pauseWhileIdle, std::int32_t pageRefresh) {
  AutoClearState next = state_;
  next.pauseWhileIdle = pauseWhileIdle;
  next.pageRefresh = pageRefresh;
  update(next);
}

void AutoClearStatus::setResting(bool resting, const QString& reason) {
  AutoClearState next = state_;
  next.resting = resting;
  next.reason = reason;
  update(next);
}

void AutoClearStatus::setSources(const AutoClearSource& idle, const AutoClearSource& lock) {
  AutoClearState next = state_;
  next.idle = idle;
  next.lock = lock;
  update(next);
}

QVariantMap AutoClearStatus::properties() const {
  return {
      {QStringLiteral("Period"), state_.periodSeconds},    {QStringLiteral("PauseWhileIdle"), state_.pauseWhileIdle},
      {QStringLiteral("PageRefresh"), state_.pageRefresh}, {QStringLiteral("Resting"), state_.resting},
      {QStringLiteral("Reason"), state_.reason},           {QStringLiteral("IdleBackend"), state_.idle.backend},
      {QStringLiteral("IdleDetail"), state_.idle.detail},  {QStringLiteral("LockBackend"), state_.lock.backend},
      {QStringLiteral("LockDetail"), state_.lock.detail},
  };
}

void AutoClearStatus::reset() {
  update(AutoClearState());
}

void AutoClearStatus::update(const AutoClearState& next) {
  if (next == state_) return;
  state_ = next;
  NotificationCenter::defaultCenter().post({AutoClearStatusDidChangeNotification, this, {}});
}

}  // namespace ostrel
