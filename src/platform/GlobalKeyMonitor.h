#pragma once
// Observes key presses anywhere on the desktop without taking them from the
// focused application. Backend: platform/x11 (XInput2 raw key events on the root
// window, modifier state from XKB).
//
// Contract:
//  - start(): installs the monitor; the handler then runs on the main thread
//    exactly once per physical key press (never for releases, pointer motion or
//    auto-repeat duplicates from a second device), with the program's virtual key
//    code and modifier bits (keys::kShift ... keys::kCapsLock; Num Lock is never
//    reported). Presses of keys without a virtual key code are not reported.
//    Returns false with a reason a person can read when monitoring is impossible
//    (no X server, no XInput2).
//  - stop(): no more calls after it returns. Destruction stops.

#include <QString>
#include <cstdint>
#include <functional>

namespace ostrel::platform {

struct KeyPress {
  std::uint16_t virtualKeyCode = 0;
  std::uint32_t modifierFlags = 0;
};

class GlobalKeyMonitor {
 public:
  using Handler = std::function<void(const KeyPress&)>;
  virtual ~GlobalKeyMonitor() = default;
  virtual bool start(Handler handler, QString* whyNot) = 0;
  virtual void stop() = 0;
};

}  // namespace ostrel::platform
