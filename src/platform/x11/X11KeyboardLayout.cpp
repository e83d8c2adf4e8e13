#include "platform/x11/X11KeyboardLayout.h"

#include "common/Log.h"
#include "platform/x11/KeyCodeMap.h"
#include "platform/x11/XcbXkb.h"

#include <xkbcommon/xkbcommon-x11.h>
#include <array>

namespace ostrel::platform::x11 {
namespace {

constexpr std::uint16_t kKeymapChanges = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
constexpr std::uint16_t kAllMapParts = 0xFF;

}  // namespace

std::unique_ptr<X11KeyboardLayout> X11KeyboardLayout::create(QString* whyNot) {
  auto connection = XcbConnection::open(whyNot);
  if (!connection) return nullptr;
  xcb_connection_t* c = connection->get();
  std::uint8_t firstEvent = 0;
  if (!xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                   XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &firstEvent, nullptr)) {
    if (whyNot) {
      *whyNot = QStringLiteral(
          "the X server has no usable XKB extension, so Ostrel cannot name keys after the "
          "keyboard layout");
    }
    return nullptr;
  }
  const std::int32_t deviceId = xkb_x11_get_core_keyboard_device_id(c);
  std::unique_ptr<xkb_context, ContextUnref> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
  if (deviceId < 0 || !context) {
    if (whyNot) *whyNot = QStringLiteral("the X server reports no core keyboard to read the layout from");
    return nullptr;
  }
  const auto selected =
      connection->check(xcb_xkb_select_events_checked(c, static_cast<xcb_xkb_device_spec_t>(deviceId), kKeymapChanges,
                                                      0, kKeymapChanges, kAllMapParts, kAllMapParts, nullptr));
  if (selected) {
    if (whyNot) {
      *whyNot = QStringLiteral("the X server refused keyboard layout notifications: %1").arg(selected->description());
    }
    return nullptr;
  }
  std::unique_ptr<X11KeyboardLayout> layout(
      new X11KeyboardLayout(std::move(connection), std::move(context), deviceId, firstEvent));
  if (!layout->loadKeymap()) {
    if (whyNot) *whyNot = QStringLiteral("the X server's keymap cannot be read");
    return nullptr;
  }
  return layout;
}

X11KeyboardLayout::X11KeyboardLayout(std::unique_ptr<XcbConnection> connection,
                                     std::unique_ptr<xkb_context, ContextUnref> context, std::int32_t deviceId,
                                     std::uint8_t xkbFirstEvent)
    : connection_(std::move(connection)),
      context_(std::move(context)),
      deviceId_(deviceId),
      xkbFirstEvent_(xkbFirstEvent) {}

bool X11KeyboardLayout::loadKeymap() {
  std::unique_ptr<xkb_keymap, KeymapUnref> keymap(
      xkb_x11_keymap_new_from_device(context_.get(), connection_->get(), deviceId_, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) return false;
  std::unique_ptr<xkb_state, StateUnref> state(xkb_state_new(keymap.get()));
  if (!state) return false;
  keymap_ = std::move(keymap);
  state_ = std::move(state);
  return true;
}

void X11KeyboardLayout::refresh() {
  xcb_connection_t* c = connection_->get();
  // The answer arrives after every notification the server sent before it, so
  // a layout change made just now is in the queue when the reply is here.
  XcbPtr<xcb_xkb_get_state_reply_t> current(
      xcb_xkb_get_state_reply(c, xcb_xkb_get_state(c, static_cast<xcb_xkb_device_spec_t>(deviceId_)), nullptr));
  bool keymapChanged = false;
  while (XcbPtr<xcb_generic_event_t> event{xcb_poll_for_queued_event(c)}) {
    if ((event->response_type & 0x7f) != xkbFirstEvent_) continue;
    const std::uint8_t xkbType = reinterpret_cast<const std::uint8_t*>(event.get())[1];
    if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY) keymapChanged = true;
  }
  if (keymapChanged && !loadKeymap()) {
    ostrel::log("X11 keyboard layout: the changed keymap cannot be read; key names follow the previous layout");
  }
  if (current && state_) xkb_state_update_mask(state_.get(), 0, 0, 0, 0, 0, current->group);
}

QString X11KeyboardLayout::unshiftedText(std::uint16_t virtualKeyCode) {
  const auto keycode = x11KeycodeForVirtualKeyCode(virtualKeyCode);
  if (!keycode) return {};
  refresh();
  if (!keymap_ || !state_) return {};
  const xkb_layout_index_t group = xkb_state_key_get_layout(state_.get(), *keycode);
  if (group == XKB_LAYOUT_INVALID) return {};
  const xkb_keysym_t* keysyms = nullptr;
  const int count = xkb_keymap_key_get_syms_by_level(keymap_.get(), *keycode, group, 0, &keysyms);
  QString text;
  for (int i = 0; i < count; ++i) {
    std::array<char, 16> utf8{};
    const int size = xkb_keysym_to_utf8(keysyms[i], utf8.data(), utf8.size());
    if (size > 1) text += QString::fromUtf8(utf8.data(), size - 1);  // size counts the terminating zero
  }
  return text;
}

}  // namespace ostrel::platform::x11
