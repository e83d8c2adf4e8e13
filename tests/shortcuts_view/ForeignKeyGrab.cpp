#include "ForeignKeyGrab.h"

#include <xcb/xcb.h>
#include <cstdlib>

namespace ostrel::test {

ForeignKeyGrab::ForeignKeyGrab(std::uint8_t keycode, std::uint16_t modifiers)
    : keycode_(keycode), modifiers_(modifiers) {
  connection_ = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection_)) return;
  root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  xcb_generic_error_t* error = xcb_request_check(
      connection_,
      xcb_grab_key_checked(connection_, 1, root_, modifiers_, keycode_, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
  held_ = error == nullptr;
  std::free(error);
}

ForeignKeyGrab::~ForeignKeyGrab() {
  if (held_) {
    xcb_ungrab_key(connection_, keycode_, root_, modifiers_);
    xcb_flush(connection_);
  }
  xcb_disconnect(connection_);
}

}  // namespace ostrel::test
