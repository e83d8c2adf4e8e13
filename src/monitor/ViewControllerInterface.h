#pragma once
// What the reply decoder and monitor discovery need of the main window.
//
// Contract:
//  - Every operation is called on the main thread.
//  - The display handlers receive the monitor's raw value (not a list position);
//    the main window maps it and keeps it in MonitorState. Values outside the
//    main window's lists are passed on unchanged.
//  - updateMainViewContent() refills the visible monitor list from caluPortsArr,
//    makes position 0 the current port and reads the monitor's parameters back.
//    It may send commands and start paced sequences from inside the call.
//  - The input handlers turn the monitor's own keys and pointer controls into
//    synthetic input; key codes are Ostrel's virtual key codes (platform/KeyCodes.h).

#include <cstdint>

namespace ostrel {

class ViewControllerInterface {
 public:
  virtual ~ViewControllerInterface() = default;

  virtual void updateViewThresholdDisplay(std::int32_t thresholdValue) = 0;
  virtual void updateViewModeDisplay(std::int32_t modeValue) = 0;
  virtual void updateViewSpeedDisplay(std::int32_t speedValue) = 0;
  virtual void updateViewFrontLightModeDisplay(std::int32_t frontLightModeValue) = 0;
  virtual void updateViewFrontTemperatureValueDisplay(std::int32_t frontTemperatureValue) = 0;
  virtual void updateViewFrontBrightnessValueDisplay(std::int32_t frontBrightnessValue) = 0;
  virtual void updateViewCurrentMCUVersion(std::int32_t version) = 0;
  virtual void updateMainViewContent() = 0;

  virtual void receiveKeyBoardClickWithCode(std::int32_t keyCode) = 0;
  virtual void receiveMouseMovePointX(std::int32_t x, std::int32_t y) = 0;
  virtual void receiveMouseClickEvent(std::int32_t button) = 0;
  virtual void receiveMouseLongMovePonitX(std::int32_t x, std::int32_t y) = 0;
};

}  // namespace ostrel
