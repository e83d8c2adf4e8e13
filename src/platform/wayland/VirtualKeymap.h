#pragma once
// The keymap Ostrel's virtual keyboard uploads to the compositor, made by
// libxkbcommon from fixed names (evdev rules, pc105, us), not from the
// environment: the keys Ostrel types (page and arrow keys, Backspace) are the
// same on every layout, and a keymap of its own makes their codes mean the
// same on every machine.
//
// The compositor maps the keymap from a file descriptor: text() is the keymap
// in xkb_v1 text, terminated by a zero byte as the format asks, and
// sealedCopy() puts it in a sealed memory file.

#include "platform/wayland/UniqueFd.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct xkb_context;
struct xkb_keymap;

namespace ostrel::platform::wayland {

class VirtualKeymap {
 public:
  // Null with a reason when xkbcommon cannot make the keymap (no keyboard
  // descriptions installed: Debian's xkb-data).
  static std::unique_ptr<VirtualKeymap> create(QString* whyNot);
  ~VirtualKeymap();
  VirtualKeymap(const VirtualKeymap&) = delete;
  VirtualKeymap& operator=(const VirtualKeymap&) = delete;

  // The keymap text with its terminating zero byte.
  const std::string& text() const { return text_; }
  // A memory file holding text(), sealed against changes; -1 with `whyNot`
  // when the system refuses one.
  UniqueFd sealedCopy(QString* whyNot) const;

  // Whether the evdev key has a symbol in this keymap.
  bool hasKey(std::uint32_t evdevCode) const;
  // The keymap's modifier mask for Ostrel's modifier bits (keys::kShift ...).
  std::uint32_t modifierMask(std::uint32_t modifierFlags) const;

 private:
  VirtualKeymap(xkb_context* context, xkb_keymap* keymap, std::string text);
  std::unique_ptr<xkb_context, void (*)(xkb_context*)> context_;
  std::unique_ptr<xkb_keymap, void (*)(xkb_keymap*)> keymap_;
  std::string text_;
};

}  // namespace ostrel::platform::wayland
