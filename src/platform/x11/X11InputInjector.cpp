#include "platform/x11/X11InputInjector.h"

#include "common/Log.h"
#include "platform/x11/KeyCodeMap.h"

#include <xcb/xtest.h>
#include <cmath>
#include <limits>

namespace ostrel::platform::x11 {
namespace {

constexpr std::uint8_t kLeftButton = 1;
constexpr std::uint8_t kRightButton = 3;
constexpr std::uint8_t kAbsoluteMotion = 0;

// Root coordinates travel as 16-bit numbers; anything outside (or not a number
// at all) would wrap to a random place on the screen.
std::optional<std::int16_t> toCoordinate(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double rounded = std::round(value);
  if (rounded < std::numeric_limits<std::int16_t>::min() || rounded > std::numeric_limits<std::int16_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int16_t>(rounded);
}

}  // namespace

std::unique_ptr<X11InputInjector> X11InputInjector::create(QString* whyNot) {
  auto connection = XcbConnection::open(whyNot);
  if (!connection) return nullptr;
  if (!connection->extension(&xcb_test_id)) {
    if (whyNot) {
      *whyNot = QStringLiteral(
          "the X server offers no XTEST extension, so Ostrel cannot post the monitor's keys and "
          "pointer moves (enable XTEST in the server's configuration)");
    }
    return nullptr;
  }
  XcbPtr<xcb_test_get_version_reply_t> version(
      xcb_test_get_version_reply(connection->get(), xcb_test_get_version(connection->get(), 2, 2), nullptr));
  if (!version) {
    if (whyNot) *whyNot = QStringLiteral("the X server's XTEST extension does not answer");
    return nullptr;
  }
  return std::unique_ptr<X11InputInjector>(new X11InputInjector(std::move(connection)));
}

X11InputInjector::X11InputInjector(std::unique_ptr<XcbConnection> connection) : connection_(std::move(connection)) {}

bool X11InputInjector::pressAndRelease(std::uint8_t pressType, std::uint8_t releaseType, std::uint8_t detail,
                                       const char* what) {
  xcb_connection_t* c = connection_->get();
  // Both go out before either is checked: a refused press must not leave the
  // release unsent, and a held key or button would stay down for the whole desktop.
  const auto press = xcb_test_fake_input_checked(c, pressType, detail, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  const auto release = xcb_test_fake_input_checked(c, releaseType, detail, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  const auto pressError = connection_->check(press);
  const auto releaseError = connection_->check(release);
  if (pressError || releaseError) {
    ostrel::log("X11 input: posting %s %u failed: %@", what, detail,
                (pressError ? *pressError : *releaseError).description());
    return false;
  }
  return true;
}

bool X11InputInjector::tapKey(std::uint16_t virtualKeyCode) {
  const auto keycode = x11KeycodeForVirtualKeyCode(virtualKeyCode);
  if (!keycode) {
    ostrel::log("X11 input: virtual key code %u has no key on this system", virtualKeyCode);
    return false;
  }
  std::lock_guard lock(mutex_);
  return pressAndRelease(XCB_KEY_PRESS, XCB_KEY_RELEASE, *keycode, "key");
}

std::optional<PointerPosition> X11InputInjector::pointerPosition() {
  std::lock_guard lock(mutex_);
  xcb_connection_t* c = connection_->get();
  XcbPtr<xcb_query_pointer_reply_t> reply(
      xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_->root()), nullptr));
  if (!reply) return std::nullopt;
  return PointerPosition{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y)};
}

bool X11InputInjector::movePointerTo(PointerPosition position) {
  const auto x = toCoordinate(position.x);
  const auto y = toCoordinate(position.y);
  if (!x || !y) {
    ostrel::log("X11 input: pointer position (%f, %f) is outside the coordinate range; not moved", position.x,
                position.y);
    return false;
  }
  std::lock_guard lock(mutex_);
  const auto error = connection_->check(xcb_test_fake_input_checked(
      connection_->get(), XCB_MOTION_NOTIFY, kAbsoluteMotion, XCB_CURRENT_TIME, connection_->root(), *x, *y, 0));
  if (error) {
    ostrel::log("X11 input: moving the pointer to (%d, %d) failed: %@", *x, *y, error->description());
    return false;
  }
  return true;
}

bool X11InputInjector::clickButton(MouseButton button) {
  const std::uint8_t detail = button == MouseButton::Left ? kLeftButton : kRightButton;
  std::lock_guard lock(mutex_);
  return pressAndRelease(XCB_BUTTON_PRESS, XCB_BUTTON_RELEASE, detail, "button");
}

}  // namespace ostrel::platform::x11
