#include "XTestClient.h"

#include "platform/x11/XcbPtr.h"
#include "platform/x11/XcbXkb.h"

#include <gtest/gtest.h>
#include <chrono>
#include <sstream>
#include <thread>

namespace ostrel::testing {

using platform::x11::XcbPtr;

std::string ObservedEvent::describe() const {
  std::ostringstream out;
  switch (type) {
    case XCB_KEY_PRESS:
      out << "KeyPress";
      break;
    case XCB_KEY_RELEASE:
      out << "KeyRelease";
      break;
    case XCB_BUTTON_PRESS:
      out << "ButtonPress";
      break;
    case XCB_BUTTON_RELEASE:
      out << "ButtonRelease";
      break;
    default:
      out << "event " << int(type);
  }
  out << " detail " << int(detail) << " keysym 0x" << std::hex << keysym << " state 0x" << state;
  return out.str();
}

XTestClient::XTestClient() {
  connection_ = xcb_connect(nullptr, nullptr);
  EXPECT_EQ(xcb_connection_has_error(connection_), 0) << "the test's X server is not reachable";
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  root_ = screen->root;
  window_ = xcb_generate_id(connection_);
  const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE |
                                                           XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                                           XCB_EVENT_MASK_STRUCTURE_NOTIFY};
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root_, 100, 100, 400, 300, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  xcb_map_window(connection_, window_);
  xcb_flush(connection_);
  // No window manager here: once mapped, the window can take the focus itself.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool mapped = false;
  while (!mapped && std::chrono::steady_clock::now() < deadline) {
    XcbPtr<xcb_generic_event_t> event(xcb_poll_for_event(connection_));
    if (!event) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
  }
  EXPECT_TRUE(mapped) << "the test window was not mapped";
  focus();
}

XTestClient::~XTestClient() {
  xcb_disconnect(connection_);
}

void XTestClient::focus() {
  XcbPtr<xcb_generic_error_t> error(xcb_request_check(
      connection_, xcb_set_input_focus_checked(connection_, XCB_INPUT_FOCUS_PARENT, window_, XCB_CURRENT_TIME)));
  EXPECT_FALSE(error) << "focusing the test window failed";
}

void XTestClient::poll() {
  while (XcbPtr<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) {
    const std::uint8_t type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
      const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
      events_.push_back({type, key->detail, keysymOf(key->detail), key->state});
    } else if (type == XCB_BUTTON_PRESS || type == XCB_BUTTON_RELEASE) {
      const auto* button = reinterpret_cast<const xcb_button_press_event_t*>(event.get());
      events_.push_back({type, button->detail, 0, button->state});
    }
  }
}

std::vector<ObservedEvent> XTestClient::keyEvents() const {
  std::vector<ObservedEvent> keys;
  for (const ObservedEvent& e : events_) {
    if (e.type == XCB_KEY_PRESS || e.type == XCB_KEY_RELEASE) keys.push_back(e);
  }
  return keys;
}

std::uint32_t XTestClient::keysymOf(std::uint8_t keycode) {
  XcbPtr<xcb_get_keyboard_mapping_reply_t> mapping(
      xcb_get_keyboard_mapping_reply(connection_, xcb_get_keyboard_mapping(connection_, keycode, 1), nullptr));
  if (!mapping || xcb_get_keyboard_mapping_keysyms_length(mapping.get()) < 1) return 0;
  return xcb_get_keyboard_mapping_keysyms(mapping.get())[0];
}

std::uint8_t XTestClient::keycodeOfKeysym(std::uint32_t keysym) {
  const xcb_setup_t* setup = xcb_get_setup(connection_);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  XcbPtr<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
      connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, static_cast<std::uint8_t>(count)),
      nullptr));
  if (!mapping) return 0;
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
  const int perKeycode = mapping->keysyms_per_keycode;
  for (int i = 0; i < count * perKeycode; ++i) {
    if (keysyms[i] == keysym) return static_cast<std::uint8_t>(setup->min_keycode + i / perKeycode);
  }
  return 0;
}

bool XTestClient::grabKey(std::uint8_t keycode, std::uint16_t modifiers) {
  XcbPtr<xcb_generic_error_t> error(xcb_request_check(
      connection_,
      xcb_grab_key_checked(connection_, 1, root_, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
  return !error;
}

void XTestClient::ungrabKey(std::uint8_t keycode, std::uint16_t modifiers) {
  XcbPtr<xcb_generic_error_t> error(
      xcb_request_check(connection_, xcb_ungrab_key_checked(connection_, keycode, root_, modifiers)));
  EXPECT_FALSE(error);
}

std::optional<std::pair<int, int>> XTestClient::pointer() {
  XcbPtr<xcb_query_pointer_reply_t> reply(
      xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr));
  if (!reply) return std::nullopt;
  return std::make_pair(int(reply->root_x), int(reply->root_y));
}

std::uint16_t XTestClient::lockedModifiers() {
  XcbPtr<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
      connection_, xcb_xkb_use_extension(connection_, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
  XcbPtr<xcb_xkb_get_state_reply_t> state(
      xcb_xkb_get_state_reply(connection_, xcb_xkb_get_state(connection_, XCB_XKB_ID_USE_CORE_KBD), nullptr));
  return state ? state->lockedMods : 0;
}

}  // namespace ostrel::testing
