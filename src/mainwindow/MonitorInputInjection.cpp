#include "mainwindow/MonitorInputInjection.h"

#include "common/Log.h"
#include "mainwindow/MainWindowTexts.h"
#include "platform/InputInjector.h"
#include "platform/KeyCodes.h"
#include "settings/ProgramValues.h"

#include <QMessageBox>

namespace ostrel {

namespace {
constexpr std::chrono::milliseconds kLongMoveTick{300};

bool isMonitorKey(std::int32_t keyCode) {
  switch (keyCode) {
    case keys::kPageDown:
    case keys::kPageUp:
    case keys::kDownArrow:
    case keys::kUpArrow:
    case keys::kDelete:
      return true;
    default:
      return false;
  }
}
}  // namespace

MonitorInputInjection::MonitorInputInjection(std::shared_ptr<platform::InputInjector> injector,
                                             const QString& whyNoInjector)
    : injector_(std::move(injector)) {
  if (!injector_) {
    log("The monitor's keys and pointer can't be passed on: %@",
        whyNoInjector.isEmpty() ? QStringLiteral("no X11 display to inject input into") : whyNoInjector);
  }
  pointerCoalesce_.setSingleShot(true);
  pointerCoalesce_.setInterval(kPointerCoalesceMs);
  QObject::connect(&pointerCoalesce_, &QTimer::timeout, [this] { flushPointer(); });
  pressWindow_.start();
}

MonitorInputInjection::~MonitorInputInjection() {
  std::unique_ptr<BackgroundTimer> repeat;
  {
    std::lock_guard lock(timerMutex_);
    repeat = std::move(timer_s);
  }
}

void MonitorInputInjection::setScreenSize(float width, float height) {
  widthMax_ = width;
  heightMax_ = height;
}

void MonitorInputInjection::monitorConnected() {
  if (injector_) injector_->requestAccess();
}

bool MonitorInputInjection::admitPress() {
  if (pressWindow_.elapsed() >= 1000) {
    pressWindow_.restart();
    pressesInWindow_ = 0;
  }
  if (++pressesInWindow_ <= kMaxPressesPerSecond) return true;
  if (!floodLogged_) {
    floodLogged_ = true;
    log("The monitor sends more than %d key presses or clicks a second; dropping the excess", kMaxPressesPerSecond);
  }
  return false;
}

void MonitorInputInjection::setMonitorInputHandler(std::function<void()> handler) {
  monitorInput_ = std::move(handler);
}

void MonitorInputInjection::monitorInput() const {
  if (monitorInput_) monitorInput_();
}

bool MonitorInputInjection::receiveKeyBoardClickWithCode(std::int32_t keyCode) {
  const std::uint16_t code = static_cast<std::uint16_t>(keyCode & 0xFFFF);
  if (!isMonitorKey(code)) {
    log("receiveKeyBoardClickWithCode ignoring key code %d: not a key the monitor may press", keyCode);
    return false;
  }
  monitorInput();
  if (injectorMissing() || !admitPress()) return false;
  // The Function flag on Page Up/Down (and Command on M) only tells macOS which
  // keyboard produced the key; X11 has no such modifier, so the key goes alone,
  // and always with its release so nothing stays held.
  return injector_->tapKey(code);
}

void MonitorInputInjection::receiveMouseMovePointX(std::int32_t dx, std::int32_t dy) {
  monitorInput();
  if (injectorMissing()) return;
  // Steps arriving faster than the desktop can use them are added up and
  // posted as one move per coalescing interval.
  if (pointerCoalesce_.isActive()) {
    pendingDx_ += dx;
    pendingDy_ += dy;
    return;
  }
  pointerStep(dx, dy);
  pointerCoalesce_.start();
}

void MonitorInputInjection::flushPointer() {
  if (pendingDx_ == 0 && pendingDy_ == 0) return;
  const std::int32_t dx = pendingDx_;
  const std::int32_t dy = pendingDy_;
  pendingDx_ = pendingDy_ = 0;
  pointerStep(dx, dy);
  pointerCoalesce_.start();
}

void MonitorInputInjection::pointerStep(std::int32_t dx, std::int32_t dy) {
  if (!injector_) return;
  // Read and move are one step: the long-move thread and the main thread must
  // not both start from the same position, or one of the two steps is lost.
  std::lock_guard step(pointerMutex_);
  const auto position = injector_->pointerPosition();
  if (!position) {
    // On Wayland no client may know where the pointer is: the step goes as an
    // offset, and the compositor's clamping at the screens' edges stands in
    // for the edge rule below.
    log("receiveMouseMovePointX Location unknown, moving by dx = %d, dy = %d", dx, dy);
    injector_->movePointerBy(dx, dy);
    return;
  }
  const double x = position->x;
  const double y = position->y;
  log("receiveMouseMovePointX Location pointUp x = %f, y = %f", x, y);
  const double width = widthMax_.load();
  const double height = heightMax_.load();
  if ((dx > 0 && x > width) || (dx < 0 && x < 0) || (dy > 0 && y > height) || (dy < 0 && y < 0)) return;
  injector_->movePointerTo({x + dx, y + dy});
}

void MonitorInputInjection::receiveMouseClickEvent(std::int32_t button) {
  mouseClick(button);
}

void MonitorInputInjection::mouseClick(std::int32_t button) {
  monitorInput();
  if (injectorMissing()) return;
  const auto position = injector_->pointerPosition();
  log("mouseClick Location x = %f, y = %f", position ? position->x : 0.0, position ? position->y : 0.0);
  if (!admitPress()) return;
  injector_->clickButton(button == 0 ? platform::MouseButton::Left : platform::MouseButton::Right);
}

void MonitorInputInjection::receiveMouseLongMovePonitX(std::int32_t dx, std::int32_t dy) {
  log(" 000000 **************** x = %d, y = %d", dx, dy);
  monitorInput();
  if (dx == 0 && dy == 0) {
    LONGMOVE = false;
    return;
  }
  LONGMOVE = true;
  runTestForOneSecond(dx, dy);
}

void MonitorInputInjection::runTestForOneSecond(std::int32_t dx, std::int32_t dy) {
  if (injectorMissing()) return;
  std::unique_ptr<BackgroundTimer> previous;
  std::unique_lock lock(timerMutex_);
  previous = std::move(timer_s);
  const std::uint64_t generation = ++timerGeneration_;
  // The tick runs on the timer's own thread. It must not cancel a newer repeat,
  // hence the generation check under the lock.
  timer_s = std::make_unique<BackgroundTimer>(kLongMoveTick, [this, dx, dy, generation] {
    if (LONGMOVE.load()) {
      monitorInput();
      pointerStep(dx, dy);
      return;
    }
    std::unique_ptr<BackgroundTimer> self;
    {
      std::lock_guard tickLock(timerMutex_);
      if (!timer_s || timerGeneration_ != generation) return;
      self = std::move(timer_s);
      // The last step happens under the lock so that nothing of this object is
      // touched once the repeat has let go of it.
      pointerStep(dx, dy);
    }
    // Destroying `self` here, on its own thread, lets the thread finish alone.
  });
  lock.unlock();
  // Cancelling waits for a tick in flight, which may itself need the lock.
  previous.reset();
}

bool MonitorInputInjection::hasRepeatTimer() const {
  std::lock_guard lock(timerMutex_);
  return timer_s != nullptr;
}

void MonitorInputInjection::receiveKeyBoardClickWithCodeForStarter(QWidget* parent) {
  QMessageBox box(QMessageBox::Warning, QString(), MainWindowTexts::forLanguage(CurrentLanguage).starterWarning,
                  QMessageBox::Ok, parent);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace ostrel
