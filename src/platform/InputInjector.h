#pragma once
// Posts synthetic keyboard and pointer input to the desktop, for whatever
// application is in front. Backends: platform/x11 (XTest) and platform/portal
// (the RemoteDesktop portal).
//
// Contract:
//  - tapKey(): presses and releases the key with the program's virtual key code
//    (a press is never left without its release), with no modifiers held by the
//    injector. False when the code has no key on this system or the post failed.
//  - pointerPosition(): the pointer in global desktop coordinates (origin top
//    left of the main screen, y down); empty when it cannot be read.
//  - movePointerTo(): moves the pointer to an absolute position.
//  - movePointerBy(): moves the pointer by an offset from wherever it is. Where
//    the position cannot be read (Wayland) this is the only way to move it, and
//    the compositor keeps the pointer on the screens.
//  - clickButton(): press then release of the button at the current position.
//  - requestAccess(): a monitor that sends input was connected. A backend that
//    needs the desktop's permission asks for it here (and input is dropped until
//    it is granted); one that already has it, or is still asking, does nothing.
//    Main thread.
//  - The rest is callable from any thread; calls are serialised by the backend.

#include <cstdint>
#include <memory>
#include <optional>

namespace ostrel::platform {

enum class MouseButton { Left, Right };

struct PointerPosition {
  double x = 0;
  double y = 0;
};

class InputInjector {
 public:
  virtual ~InputInjector() = default;
  virtual bool tapKey(std::uint16_t virtualKeyCode) = 0;
  virtual std::optional<PointerPosition> pointerPosition() = 0;
  virtual bool movePointerTo(PointerPosition position) = 0;
  virtual bool clickButton(MouseButton button) = 0;
  virtual bool movePointerBy(double dx, double dy) {
    const std::optional<PointerPosition> from = pointerPosition();
    return from && movePointerTo({from->x + dx, from->y + dy});
  }
  virtual void requestAccess() {}
};

}  // namespace ostrel::platform
