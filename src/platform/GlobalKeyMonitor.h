#pragma once
// Observes key presses anywhere on the desktop without taking them from the
// focused application. Backends: platform/x11 (XInput2 raw key events on the root
// window, modifier state from XKB) and platform/portal (the GlobalShortcuts
// portal, where the desktop only reports the shortcuts it bound for Ostrel).
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
//  - watchShortcuts(): the combinations Ostrel acts on. A monitor that sees
//    every key ignores it; a monitor that can only be told of bound shortcuts
//    (the portal) binds exactly these, reports a press of one of them with that
//    shortcut's key code and flags, and binds again when the list changes.
//    Callable before and after start().
//  - KeyPress::takenFromFocus: the desktop took the key from the focused window
//    to deliver it here, so Ostrel's own windows never saw it (a bound
//    shortcut); without it, a press while Ostrel has the focus reaches Ostrel's
//    window as well.

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace ostrel::platform {

struct KeyPress {
  std::uint16_t virtualKeyCode = 0;
  std::uint32_t modifierFlags = 0;
  bool takenFromFocus = false;
};

struct WatchedShortcut {
  QString id;           // stable name of the shortcut ("refresh")
  QString description;  // what it does, in the user's language
  std::uint16_t virtualKeyCode = 0;
  std::uint32_t modifierFlags = 0;

  bool operator==(const WatchedShortcut&) const = default;
};

class GlobalKeyMonitor {
 public:
  using Handler = std::function<void(const KeyPress&)>;
  virtual ~GlobalKeyMonitor() = default;
  virtual bool start(Handler handler, QString* whyNot) = 0;
  virtual void stop() = 0;
  virtual void watchShortcuts(const std::vector<WatchedShortcut>& shortcuts) { (void)shortcuts; }
};

}  // namespace ostrel::platform
