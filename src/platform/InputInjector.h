#pragma once
// Posts synthetic keyboard and pointer input to the desktop, for whatever
// application is in front. Backend: platform/x11 (XTest).
//
// Contract:
//  - tapKey(): presses and releases the key with the program's virtual key code
//    (a press is never left without its release), with no modifiers held by the
//    injector. False when the code has no key on this system or the post failed.
//  - pointerPosition(): the pointer in global desktop coordinates (origin top
//    left of the main screen, y down); empty when it cannot be read.
//  - movePointerTo(): moves the pointer to an absolute position.
//  - clickButton(): press then release of the button at the current position.
//  - Callable from any thread; calls are serialised by the backend.

#include <memory>
#include <optional>
#include <cstdint>

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
};

}  // namespace ostrel::platform
