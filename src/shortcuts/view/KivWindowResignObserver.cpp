#include "KivWindowResignObserver.h"

#include <QEvent>

namespace ostrel {

KivWindowResignObserver::KivWindowResignObserver(QWidget* window, std::function<void()> didResign)
    : window_(window), didResign_(std::move(didResign)) {
  if (window_) window_->installEventFilter(this);
}

KivWindowResignObserver::~KivWindowResignObserver() {
  stop();
}

void KivWindowResignObserver::stop() {
  if (window_) window_->removeEventFilter(this);
  window_ = nullptr;
  didResign_ = nullptr;
}

bool KivWindowResignObserver::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::WindowDeactivate && didResign_) {
    const auto didResign = didResign_;  // the handler may destroy this observer
    didResign();
    return false;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace ostrel
