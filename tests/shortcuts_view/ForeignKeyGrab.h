#pragma once
// Another X client holding a key combination: a connection of its own that grabs
// the key on the root window, the way a desktop's shortcut daemon does, and lets
// go when destroyed.

#include <cstdint>

struct xcb_connection_t;

namespace ostrel::test {

class ForeignKeyGrab {
 public:
  // keycode: X keycode; modifiers: X core modifier mask.
  ForeignKeyGrab(std::uint8_t keycode, std::uint16_t modifiers);
  ~ForeignKeyGrab();
  ForeignKeyGrab(const ForeignKeyGrab&) = delete;
  ForeignKeyGrab& operator=(const ForeignKeyGrab&) = delete;

  bool isHeld() const { return held_; }

 private:
  xcb_connection_t* connection_ = nullptr;
  std::uint32_t root_ = 0;
  std::uint8_t keycode_;
  std::uint16_t modifiers_;
  bool held_ = false;
};

}  // namespace ostrel::test
