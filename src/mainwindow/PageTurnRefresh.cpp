#include "mainwindow/PageTurnRefresh.h"

#include "common/Log.h"
#include "platform/KeyCodes.h"

#include <algorithm>

namespace ostrel {

PageTurnRefresh::PageTurnRefresh(std::function<void()> refresh) : refresh_(std::move(refresh)) {
  delay_.setSingleShot(true);
  // A coarse timer may fire a little early; the page must have had its 300 ms.
  delay_.setTimerType(Qt::PreciseTimer);
  delay_.setInterval(kDelay);
  QObject::connect(&delay_, &QTimer::timeout, [this] { fire(); });
}

PageTurnRefresh::~PageTurnRefresh() = default;

bool PageTurnRefresh::isPageKey(std::uint16_t virtualKeyCode) {
  return virtualKeyCode == keys::kPageUp || virtualKeyCode == keys::kPageDown;
}

void PageTurnRefresh::setEvery(std::int32_t pageTurns) {
  std::lock_guard lock(mutex_);
  every_ = std::max(pageTurns, 0);
  count_ = 0;
  if (every_ == 0) delay_.stop();
}

std::int32_t PageTurnRefresh::every() const {
  std::lock_guard lock(mutex_);
  return every_;
}

void PageTurnRefresh::setKeyboardWatched(bool watched) {
  keyboardWatched_ = watched;
  if (!watched) echoes_.clear();
}

std::int32_t PageTurnRefresh::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

void PageTurnRefresh::monitorPageKey(std::uint16_t virtualKeyCode, bool injected) {
  if (!isPageKey(virtualKeyCode)) return;
  if (injected && keyboardWatched_) {
    echoes_.push_back({virtualKeyCode, std::chrono::steady_clock::now() + kEchoWindow});
  }
  turn();
}

void PageTurnRefresh::keyboardKey(std::uint16_t virtualKeyCode) {
  if (!keyboardWatched_ || !isPageKey(virtualKeyCode)) return;
  const auto now = std::chrono::steady_clock::now();
  while (!echoes_.empty() && echoes_.front().until < now) echoes_.pop_front();
  const auto echo = std::find_if(echoes_.begin(), echoes_.end(),
                                 [virtualKeyCode](const Echo& e) { return e.virtualKeyCode == virtualKeyCode; });
  if (echo != echoes_.end()) {
    echoes_.erase(echo);
    return;
  }
  turn();
}

void PageTurnRefresh::turn() {
  std::lock_guard lock(mutex_);
  if (every_ == 0) return;
  if (++count_ < every_) return;
  count_ = 0;
  refreshesWhenDue_ = refreshes_;
  // Pages turned faster than the delay get one flash, after the last of them.
  delay_.start();
}

void PageTurnRefresh::fire() {
  std::int32_t every = 0;
  {
    std::lock_guard lock(mutex_);
    // Another refresh since the page turn did this one's work.
    if (refreshes_ != refreshesWhenDue_ || every_ == 0) return;
    every = every_;
  }
  log("Fast refresh after %d page turns", every);
  refresh_();
}

void PageTurnRefresh::noteRefresh() {
  std::lock_guard lock(mutex_);
  ++refreshes_;
  count_ = 0;
}

}  // namespace ostrel
