#pragma once
// Key names after the keyboard layout the X server uses now, through xkbcommon
// on the core keyboard's keymap. The keymap is fetched once and fetched again
// only when XKB says it changed (a `setxkbmap de`, a new keyboard); the current
// group is read at every call, so switching between configured layouts shows at
// once too. One short round trip per call (see bench/x11).

#include "platform/KeyboardLayout.h"
#include "platform/x11/XcbConnection.h"

#include <xkbcommon/xkbcommon.h>
#include <memory>

namespace ostrel::platform::x11 {

class X11KeyboardLayout final : public KeyboardLayout {
 public:
  // Null with a reason when there is no display or it lacks XKB.
  static std::unique_ptr<X11KeyboardLayout> create(QString* whyNot);

  QString unshiftedText(std::uint16_t virtualKeyCode) override;

 private:
  struct ContextUnref {
    void operator()(xkb_context* p) const noexcept { xkb_context_unref(p); }
  };
  struct KeymapUnref {
    void operator()(xkb_keymap* p) const noexcept { xkb_keymap_unref(p); }
  };
  struct StateUnref {
    void operator()(xkb_state* p) const noexcept { xkb_state_unref(p); }
  };

  X11KeyboardLayout(std::unique_ptr<XcbConnection> connection, std::unique_ptr<xkb_context, ContextUnref> context,
                    std::int32_t deviceId, std::uint8_t xkbFirstEvent);
  bool loadKeymap();
  // Applies keymap changes announced since the last call and the current group.
  void refresh();

  std::unique_ptr<XcbConnection> connection_;
  std::unique_ptr<xkb_context, ContextUnref> context_;
  std::unique_ptr<xkb_keymap, KeymapUnref> keymap_;
  std::unique_ptr<xkb_state, StateUnref> state_;
  std::int32_t deviceId_;
  std::uint8_t xkbFirstEvent_;
};

}  // namespace ostrel::platform::x11
