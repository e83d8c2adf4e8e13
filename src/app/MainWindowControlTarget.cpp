#include "app/MainWindowControlTarget.h"

#include "mainwindow/ViewController.h"
#include "monitor/UtilsPelSerialPortsValue.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"

#include <QComboBox>
#include <QCursor>
#include <QMainWindow>
#include <QPointer>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

namespace ostrel {
namespace {

constexpr int kActivationRetryMs = 150;

// The user picks an entry and the list's action reads the selection; doing the
// same keeps the action the single place that decides what is sent.
void choose(QComboBox* list, std::int32_t position) {
  list->setCurrentIndex(position);
}

// A slider's action fires on a changed value; a caller asking for the value the
// slider already shows still wants it sent, so the action is run by hand.
void moveQuietly(QSlider* slider, std::int32_t value) {
  const QSignalBlocker quiet(slider);
  slider->setValue(value);
}

}  // namespace

MainWindowControlTarget::MainWindowControlTarget(std::weak_ptr<ViewController> controller)
    : controller_(std::move(controller)) {}

void MainWindowControlTarget::refresh() {
  if (auto vc = controller_.lock()) vc->hardRefreshAction();
}

void MainWindowControlTarget::contrastUp() {
  if (auto vc = controller_.lock()) vc->setFromThresholdShortCutValue();
}

void MainWindowControlTarget::contrastDown() {
  if (auto vc = controller_.lock()) vc->setFromThresholdDownShortCutValue();
}

void MainWindowControlTarget::setContrast(std::int32_t threshold) {
  auto vc = controller_.lock();
  if (!vc) return;
  choose(vc->thresholdInfo(), threshold - 1);
  vc->thresholdCheckAction();
}

void MainWindowControlTarget::setImageMode(std::int32_t mode) {
  auto vc = controller_.lock();
  if (!vc) return;
  choose(vc->modeInfo(), mode - 2);
  vc->modeCheckAction();
}

void MainWindowControlTarget::setRefreshSpeed(std::int32_t speed) {
  auto vc = controller_.lock();
  if (!vc) return;
  choose(vc->speedInfo(), speed - 1);
  vc->speedCheckAction();
}

void MainWindowControlTarget::setFrontLightMode(std::int32_t mode) {
  auto vc = controller_.lock();
  if (!vc) return;
  choose(vc->frontLightModeInfo(), mode);
  vc->frontModeCheckAction();
}

void MainWindowControlTarget::setBrightness(std::int32_t brightness) {
  auto vc = controller_.lock();
  if (!vc) return;
  moveQuietly(vc->frontModeBrightnessInfo(), brightness);
  vc->frontModeBrightnessCheckAction();
}

void MainWindowControlTarget::setTemperature(std::int32_t temperature) {
  auto vc = controller_.lock();
  if (!vc) return;
  moveQuietly(vc->frontModeTemperatureInfo(), temperature);
  vc->frontModeTemperatureCheckAction();
}

void MainWindowControlTarget::syncTime() {
  if (auto vc = controller_.lock()) vc->realTimeClockAction();
}

void MainWindowControlTarget::readParameters() {
  if (auto vc = controller_.lock()) vc->syncParametersAction();
}

void MainWindowControlTarget::whenCommandsSent(std::function<void()> fn) {
  auto vc = controller_.lock();
  if (!vc || !vc->utlsPorts()) {
    fn();
    return;
  }
  // Queued behind whatever the window has queued, so it runs after the last
  // of those commands and the spacing that follows it.
  vc->utlsPorts()->runPacedSequence({{std::move(fn), 0}});
}

std::uint64_t MainWindowControlTarget::failedWrites() const {
  auto vc = controller_.lock();
  return vc && vc->utlsPorts() ? vc->utlsPorts()->failedMainThreadSends() : 0;
}

void MainWindowControlTarget::activate() {
  auto vc = controller_.lock();
  if (!vc) return;
  QMainWindow* window = vc->window();
  window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->show();
  window->raise();
  // X11 ignores a focus request stamped earlier than the last focus change, and
  // Qt stamps it with the last server time it saw, which for a window nobody
  // touched is from its start. Writing the (unchanged) title makes the server
  // send back a property event with the current time, and the round trip of
  // the pointer query brings it in; Qt takes its time from that event once the
  // event loop has handled it, so the request goes out from there. Should the
  // event still be on its way on a loaded machine, a second request follows.
  window->setWindowTitle(window->windowTitle());
  (void)QCursor::pos();
  QPointer<QMainWindow> target(window);
  auto focus = [target] {
    if (target && !target->isActiveWindow()) target->activateWindow();
  };
  QTimer::singleShot(0, window, focus);
  QTimer::singleShot(kActivationRetryMs, window, focus);
}

void MainWindowControlTarget::setPauseWhileIdle(bool on) {
  storePauseWhileIdle(PreferenceStore::standard(), on);
  if (auto vc = controller_.lock()) vc->setPauseWhileIdle(on);
}

void MainWindowControlTarget::setPageRefresh(std::int32_t pageTurns) {
  if (!storePageRefreshValue(PreferenceStore::standard(), pageTurns)) return;
  if (auto vc = controller_.lock()) vc->setPageRefreshValue(pageTurns);
}

}  // namespace ostrel
