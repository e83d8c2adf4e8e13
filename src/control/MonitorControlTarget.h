#pragma once
// What the session-bus service drives: the window's own actions, reached
// without the window's classes (this folder does not link the widgets).
//
// Contract (everything on the main thread):
//  - Each operation does exactly what the window or a global shortcut does for
//    the same request, so the monitor receives identical frames and the window
//    and MonitorState end up as if the user had acted:
//      refresh()            the Fast Refresh button
//      contrastUp/Down()    the contrast shortcuts (one step, wrapping 9 <-> 1,
//                           then the contrast is read back)
//      setContrast(t)       choosing threshold t (1..9) in the contrast list
//      setImageMode(m)      choosing mode m (2..4) in the image mode list
//      setRefreshSpeed(s)   choosing speed s (1..5) in the refresh speed list
//      setFrontLightMode(m) choosing mode m (0..3) in the front light list
//      setBrightness(v)     moving the brightness slider to v (0..100)
//      setTemperature(v)    moving the temperature slider to v (0..100)
//      syncTime()           the Time Sync button
//      readParameters()     the Get Parameters button (the full read-back)
//  - Values arrive already checked against their ranges (ControlProtocol.h)
//    and only while a monitor is current; the target does not check again.
//  - whenCommandsSent(fn): fn runs once every command queued so far (the
//    paced read-back and contrast steps included) has gone out, and after the
//    spacing that follows the last of them. It may run before the call returns
//    when nothing is queued.
//  - activate(): shows the main window, brings it to the front and gives it
//    the keyboard focus where the desktop allows.
//  - failedWrites(): how many commands sent from the main thread so far the
//    monitor's port failed to write (it closed under them, the write failed or
//    ran out of time); a request whose commands raise it did not reach the
//    monitor.

#include <cstdint>
#include <functional>

namespace ostrel {

class MonitorControlTarget {
 public:
  virtual ~MonitorControlTarget() = default;

  virtual void refresh() = 0;
  virtual void contrastUp() = 0;
  virtual void contrastDown() = 0;
  virtual void setContrast(std::int32_t threshold) = 0;
  virtual void setImageMode(std::int32_t mode) = 0;
  virtual void setRefreshSpeed(std::int32_t speed) = 0;
  virtual void setFrontLightMode(std::int32_t mode) = 0;
  virtual void setBrightness(std::int32_t brightness) = 0;
  virtual void setTemperature(std::int32_t temperature) = 0;
  virtual void syncTime() = 0;
  virtual void readParameters() = 0;
  virtual void whenCommandsSent(std::function<void()> fn) = 0;
  virtual void activate() = 0;
  virtual std::uint64_t failedWrites() const = 0;
};

}  // namespace ostrel
