#pragma once
// The session-bus service's way into the main window: every request becomes
// the window's own action, with the window's controls set first where the user
// would have set them (see control/MonitorControlTarget.h for the contract).
//
// Holds the controller weakly: a request arriving while the application shuts
// down finds no window and does nothing.

#include "control/MonitorControlTarget.h"
#include "control/RefreshSettingsTarget.h"

#include <memory>

namespace ostrel {

class ViewController;

class MainWindowControlTarget final : public MonitorControlTarget, public RefreshSettingsTarget {
 public:
  explicit MainWindowControlTarget(std::weak_ptr<ViewController> controller);

  void refresh() override;
  void contrastUp() override;
  void contrastDown() override;
  void setContrast(std::int32_t threshold) override;
  void setImageMode(std::int32_t mode) override;
  void setRefreshSpeed(std::int32_t speed) override;
  void setFrontLightMode(std::int32_t mode) override;
  void setBrightness(std::int32_t brightness) override;
  void setTemperature(std::int32_t temperature) override;
  void syncTime() override;
  void readParameters() override;
  void whenCommandsSent(std::function<void()> fn) override;
  void activate() override;
  std::uint64_t failedWrites() const override;
  void setPauseWhileIdle(bool on) override;
  void setPageRefresh(std::int32_t pageTurns) override;

 private:
  std::weak_ptr<ViewController> controller_;
};

}  // namespace ostrel
