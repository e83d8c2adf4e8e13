#pragma once
// A main window that writes down what it is asked to do, one line per call
// ("updateViewThresholdDisplay(5)", "receiveMouseMovePointX(-6,0)", ...), so
// that tests compare the decoder's routing with a table.

#include "monitor/ViewControllerInterface.h"

#include <QStringList>
#include <functional>

namespace ostrel::test {

class RecordingViewController : public ViewControllerInterface {
 public:
  void updateViewThresholdDisplay(std::int32_t v) override { record("updateViewThresholdDisplay", v); }
  void updateViewModeDisplay(std::int32_t v) override { record("updateViewModeDisplay", v); }
  void updateViewSpeedDisplay(std::int32_t v) override { record("updateViewSpeedDisplay", v); }
  void updateViewFrontLightModeDisplay(std::int32_t v) override { record("updateViewFrontLightModeDisplay", v); }
  void updateViewFrontTemperatureValueDisplay(std::int32_t v) override {
    record("updateViewFrontTemperatureValueDisplay", v);
  }
  void updateViewFrontBrightnessValueDisplay(std::int32_t v) override {
    record("updateViewFrontBrightnessValueDisplay", v);
  }
  void updateViewCurrentMCUVersion(std::int32_t v) override;
  void updateMainViewContent() override;
  void receiveKeyBoardClickWithCode(std::int32_t v) override { record("receiveKeyBoardClickWithCode", v); }
  void receiveMouseMovePointX(std::int32_t x, std::int32_t y) override { record("receiveMouseMovePointX", x, y); }
  void receiveMouseClickEvent(std::int32_t v) override { record("receiveMouseClickEvent", v); }
  void receiveMouseLongMovePonitX(std::int32_t x, std::int32_t y) override {
    record("receiveMouseLongMovePonitX", x, y);
  }

  QStringList calls;
  // What the real main window does on updateMainViewContent (e.g. pick the
  // current port); nothing by default.
  std::function<void()> onUpdateMainViewContent;

 private:
  void record(const char* op, std::int32_t a);
  void record(const char* op, std::int32_t a, std::int32_t b);
};

}  // namespace ostrel::test
