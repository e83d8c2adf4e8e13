#include "ostrelctl/HeadlessViewController.h"

#include "common/Log.h"
#include "monitor/MonitorState.h"
#include "monitor/UtilsPelSerialPortsValue.h"

#include <algorithm>

namespace ostrel::ctl {

HeadlessViewController::HeadlessViewController(UtilsPelSerialPortsValue& utlsPorts) : utlsPorts_(utlsPorts) {}

void HeadlessViewController::note(ControlSetting setting) {
  reported_.insert(setting);
  changed();
}

void HeadlessViewController::changed() {
  if (onChange_) onChange_();
}

// The same mapping from the monitor's values to MonitorState as the window's
// display handlers, so that everything built on MonitorState (the contrast
// step, the status) sees what it would see in Ostrel.

void HeadlessViewController::updateViewThresholdDisplay(std::int32_t v) {
  log("updateViewThresholdDisplay thresholdValue = %d", v);
  currentThresholdValue = v - 1;
  note(ControlSetting::Contrast);
}

void HeadlessViewController::updateViewModeDisplay(std::int32_t v) {
  log("updateViewModeDisplay modeValue = %d", v);
  currentModeValue = v < 2 ? 0 : v - 2;
  note(ControlSetting::ImageMode);
}

void HeadlessViewController::updateViewSpeedDisplay(std::int32_t v) {
  log("updateViewSpeedDisplay speedValue = %d", v);
  currentSpeedValue = v - 1;
  note(ControlSetting::RefreshSpeed);
}

void HeadlessViewController::updateViewFrontLightModeDisplay(std::int32_t v) {
  log("updateViewFrontLightModeDisplay frontLightModeValue = %d, currentMCUVersion = %d", v, currentMCUVersion);
  currentFrontLightModeValue = v;
  note(ControlSetting::FrontLightMode);
}

void HeadlessViewController::updateViewFrontTemperatureValueDisplay(std::int32_t v) {
  log("updateViewFrontTemperatureValueDisplay frontTemperatureValue = %d", v);
  currentFrontTemperatureValue = std::clamp(v, 0, 100);
  note(ControlSetting::Temperature);
}

void HeadlessViewController::updateViewFrontBrightnessValueDisplay(std::int32_t v) {
  log("updateViewFrontBrightnessValueDisplay frontBrightnessValue = %d", v);
  currentFrontBrightnessValue = std::clamp(v, 0, 100);
  note(ControlSetting::Brightness);
}

void HeadlessViewController::updateViewCurrentMCUVersion(std::int32_t version) {
  currentMCUVersion = version;
  ++acceptedReports_;
}

void HeadlessViewController::updateMainViewContent() {
  log("updateMainViewContent mutableArr = %@", caluPortsArr ? *caluPortsArr : QList<PelSerialPortRef>());
  if (caluPortsArr && !caluPortsArr->isEmpty()) utlsPorts_.currentDisplayPort(0);
  changed();
}

void HeadlessViewController::receiveKeyBoardClickWithCode(std::int32_t keyCode) {
  log("ostrelctl does not pass the monitor's keys on (key code %d)", keyCode);
}

void HeadlessViewController::receiveMouseMovePointX(std::int32_t x, std::int32_t y) {
  log("ostrelctl does not pass the monitor's pointer on (step %d, %d)", x, y);
}

void HeadlessViewController::receiveMouseClickEvent(std::int32_t button) {
  log("ostrelctl does not pass the monitor's clicks on (button %d)", button);
}

void HeadlessViewController::receiveMouseLongMovePonitX(std::int32_t x, std::int32_t y) {
  log("ostrelctl does not pass the monitor's pointer on (long move %d, %d)", x, y);
}

}  // namespace ostrel::ctl
