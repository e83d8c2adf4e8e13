#pragma once
// System-wide hotkeys: a key combination that runs an action of Ostrel's whichever
// application has focus. Backend: platform/x11 (XGrabKey on the root window,
// repeated for the Caps Lock / Num Lock variants; every grab checked on its own).
//
// Contract:
//  - registerHotKey(): key = program virtual key code; modifiers in the hotkey
//    service's bits (Command 0x0100, Shift 0x0200, Option 0x0800, Control 0x1000);
//    id = (signature, identifier) delivered back on each press. Returns a handle,
//    or empty when the system refuses (another client holds the combination, the
//    key has no code here): then nothing stays registered.
//  - unregisterHotKey(): releases the registration; unknown handles are ignored.
//  - setPressedHandler(): called on the main thread once per press of a
//    registered combination, with its id.
//  - isTakenBySystem(): true when another client already holds the combination
//    (probed without keeping anything registered).

#include <cstdint>
#include <functional>
#include <optional>

namespace ostrel::platform {

struct HotKeyId {
  std::uint32_t signature = 0;
  std::uint32_t identifier = 0;
};

class HotKeyService {
 public:
  using Handle = std::uint64_t;
  using PressedHandler = std::function<void(HotKeyId)>;
  virtual ~HotKeyService() = default;
  virtual std::optional<Handle> registerHotKey(std::uint32_t virtualKeyCode, std::uint32_t hotKeyModifiers,
                                               HotKeyId id) = 0;
  virtual void unregisterHotKey(Handle handle) = 0;
  virtual void setPressedHandler(PressedHandler handler) = 0;
  virtual bool isTakenBySystem(std::uint32_t virtualKeyCode, std::uint32_t hotKeyModifiers) = 0;
};

}  // namespace ostrel::platform
