#pragma once
// Synthetic keyboard and pointer input through the XTEST extension, on a
// connection of its own. The auto-clear and long-move timers call it from
// background threads, so every operation holds one lock: a key's press and
// release, or a button's, are never split by another caller's input.

#include "platform/InputInjector.h"
#include "platform/x11/XcbConnection.h"

#include <QString>
#include <memory>
#include <mutex>

namespace ostrel::platform::x11 {

class X11InputInjector final : public InputInjector {
 public:
  // Null with a reason when there is no display or it lacks XTEST.
  static std::unique_ptr<X11InputInjector> create(QString* whyNot);

  bool tapKey(std::uint16_t virtualKeyCode) override;
  std::optional<PointerPosition> pointerPosition() override;
  bool movePointerTo(PointerPosition position) override;
  bool clickButton(MouseButton button) override;

 private:
  explicit X11InputInjector(std::unique_ptr<XcbConnection> connection);
  // Sends a press and its release of one key or button and checks both.
  bool pressAndRelease(std::uint8_t pressType, std::uint8_t releaseType, std::uint8_t detail, const char* what);

  std::mutex mutex_;
  std::unique_ptr<XcbConnection> connection_;
};

}  // namespace ostrel::platform::x11
