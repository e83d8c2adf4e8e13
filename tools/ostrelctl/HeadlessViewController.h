#pragma once
// ostrelctl's stand-in for the main window when it talks to the monitor
// itself: the reply decoder and discovery call it exactly as they call the
// window. It keeps MonitorState the way the window's display handlers do (so
// the contrast step starts from the monitor's own contrast), and remembers
// which settings the monitor has reported since they were last cleared.
//
// Differences from the window, on purpose: an accepted monitor becomes the
// current port but is not read back (each command reads what it needs), and
// the monitor's key and pointer input is not passed on (no desktop here).
// All on the main thread.

#include "control/ControlProtocol.h"
#include "monitor/ViewControllerInterface.h"

#include <functional>
#include <optional>
#include <set>

namespace ostrel {
class UtilsPelSerialPortsValue;
}

namespace ostrel::ctl {

class HeadlessViewController final : public ViewControllerInterface {
 public:
  explicit HeadlessViewController(UtilsPelSerialPortsValue& utlsPorts);

  // Runs after every report and every change of the monitor list.
  void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

  bool reported(ControlSetting setting) const { return reported_.count(setting) != 0; }
  void clearReport(ControlSetting setting) { reported_.erase(setting); }
  // How many MCU version reports were accepted (a port answering twice counts twice).
  int acceptedReports() const { return acceptedReports_; }

  void updateViewThresholdDisplay(std::int32_t thresholdValue) override;
  void updateViewModeDisplay(std::int32_t modeValue) override;
  void updateViewSpeedDisplay(std::int32_t speedValue) override;
  void updateViewFrontLightModeDisplay(std::int32_t frontLightModeValue) override;
  void updateViewFrontTemperatureValueDisplay(std::int32_t frontTemperatureValue) override;
  void updateViewFrontBrightnessValueDisplay(std::int32_t frontBrightnessValue) override;
  void updateViewCurrentMCUVersion(std::int32_t version) override;
  void updateMainViewContent() override;

  void receiveKeyBoardClickWithCode(std::int32_t keyCode) override;
  void receiveMouseMovePointX(std::int32_t x, std::int32_t y) override;
  void receiveMouseClickEvent(std::int32_t button) override;
  void receiveMouseLongMovePonitX(std::int32_t x, std::int32_t y) override;

 private:
  void note(ControlSetting setting);
  void changed();

  UtilsPelSerialPortsValue& utlsPorts_;
  std::function<void()> onChange_;
  std::set<ControlSetting> reported_;
  int acceptedReports_ = 0;
};

}  // namespace ostrel::ctl
