#pragma once
// What the session-bus service changes of when Ostrel refreshes beyond the
// monitor's own commands: "Pause while idle" and "Refresh every N page turns".
//
// Contract (main thread): each does what the settings window's OK does for
// that one setting: the value is stored in the preference file and in force
// at once. Page counts arrive already checked (0..99).

#include <cstdint>

namespace ostrel {

class RefreshSettingsTarget {
 public:
  virtual ~RefreshSettingsTarget() = default;
  virtual void setPauseWhileIdle(bool on) = 0;
  virtual void setPageRefresh(std::int32_t pageTurns) = 0;
};

}  // namespace ostrel
