#pragma once
// The tests' own X client: a window on its own connection that records the key
// and button events it receives, plus the things another application on the
// desktop might do (grab a key, read the pointer, read the lock state).

#include <xcb/xcb.h>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::testing {

struct ObservedEvent {
  std::uint8_t type = 0;     // XCB_KEY_PRESS, XCB_KEY_RELEASE, XCB_BUTTON_PRESS, XCB_BUTTON_RELEASE
  std::uint8_t detail = 0;   // keycode or button
  std::uint32_t keysym = 0;  // unshifted keysym of a key event
  std::uint16_t state = 0;
  std::string describe() const;
};

class XTestClient {
 public:
  // Connects to $DISPLAY, maps a window at (100, 100) of 400 x 300 and gives it
  // the input focus.
  XTestClient();
  ~XTestClient();
  XTestClient(const XTestClient&) = delete;
  XTestClient& operator=(const XTestClient&) = delete;

  xcb_window_t window() const { return window_; }
  int centerX() const { return 100 + 200; }
  int centerY() const { return 100 + 150; }

  // Reads what has arrived so far.
  void poll();
  const std::vector<ObservedEvent>& events() const { return events_; }
  std::vector<ObservedEvent> keyEvents() const;
  void clear() { events_.clear(); }
  void focus();

  // Another client's grab on the root window; false when the server refuses it.
  bool grabKey(std::uint8_t keycode, std::uint16_t modifiers);
  void ungrabKey(std::uint8_t keycode, std::uint16_t modifiers);

  std::optional<std::pair<int, int>> pointer();
  // The XKB locked modifiers (Lock 0x02, Num Lock usually 0x10).
  std::uint16_t lockedModifiers();
  std::uint8_t keycodeOfKeysym(std::uint32_t keysym);

 private:
  std::uint32_t keysymOf(std::uint8_t keycode);
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  xcb_window_t window_ = 0;
  std::vector<ObservedEvent> events_;
};

}  // namespace ostrel::testing
