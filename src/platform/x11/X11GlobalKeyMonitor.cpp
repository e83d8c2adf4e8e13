#include "platform/x11/X11GlobalKeyMonitor.h"

#include "common/Log.h"
#include "platform/x11/KeyCodeMap.h"
#include "platform/x11/X11Modifiers.h"
#include "platform/x11/XcbXkb.h"

#include <xcb/xinput.h>

namespace ostrel::platform::x11 {
namespace {

struct RawKeyPressMask {
  xcb_input_event_mask_t head{XCB_INPUT_DEVICE_ALL_MASTER, 1};
  std::uint32_t bits = 0;
};

constexpr std::uint16_t kStateNotifications = XCB_XKB_EVENT_TYPE_STATE_NOTIFY;

}  // namespace

std::unique_ptr<X11GlobalKeyMonitor> X11GlobalKeyMonitor::create(QString* whyNot) {
  auto connection = XcbConnection::open(whyNot);
  if (!connection) return nullptr;
  return std::unique_ptr<X11GlobalKeyMonitor>(new X11GlobalKeyMonitor(std::move(connection)));
}

X11GlobalKeyMonitor::X11GlobalKeyMonitor(std::unique_ptr<XcbConnection> connection)
    : connection_(std::move(connection)) {}

X11GlobalKeyMonitor::~X11GlobalKeyMonitor() {
  stop();
}

bool X11GlobalKeyMonitor::start(Handler handler, QString* whyNot) {
  if (pump_) {
    handler_ = std::move(handler);
    return true;
  }
  xcb_connection_t* c = connection_->get();
  const xcb_query_extension_reply_t* xinput = connection_->extension(&xcb_input_id);
  if (!xinput) {
    if (whyNot) {
      *whyNot = QStringLiteral(
          "the X server has no XInput extension, so Ostrel cannot see shortcut keys typed in "
          "other applications");
    }
    return false;
  }
  XcbPtr<xcb_input_xi_query_version_reply_t> version(
      xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
  if (!version || version->major_version < 2) {
    if (whyNot) {
      *whyNot = QStringLiteral(
          "the X server's XInput extension is older than version 2, so Ostrel cannot see "
          "shortcut keys typed in other applications");
    }
    return false;
  }
  xinputOpcode_ = xinput->major_opcode;
  if (!followModifierState(whyNot)) return false;
  if (!selectRawKeyPresses(true, whyNot)) return false;
  handler_ = std::move(handler);
  pump_ =
      std::make_unique<XcbEventPump>(*connection_, [this](const xcb_generic_event_t& event) { handleEvent(event); });
  pump_->drainSoon();
  return true;
}

void X11GlobalKeyMonitor::stop() {
  if (!pump_) return;
  pump_.reset();
  handler_ = nullptr;
  xcb_xkb_select_events(connection_->get(), XCB_XKB_ID_USE_CORE_KBD, 0, kStateNotifications, 0, 0, 0, nullptr);
  selectRawKeyPresses(false, nullptr);
  // Presses typed before the deselection are still queued here; a later start()
  // must not report them.
  while (XcbPtr<xcb_generic_event_t> stale{xcb_poll_for_event(connection_->get())}) {
  }
}

bool X11GlobalKeyMonitor::followModifierState(QString* whyNot) {
  xcb_connection_t* c = connection_->get();
  const xcb_query_extension_reply_t* xkb = connection_->extension(&xcb_xkb_id);
  XcbPtr<xcb_xkb_use_extension_reply_t> use(
      xkb ? xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
                                        nullptr)
          : nullptr);
  if (!use || !use->supported) {
    if (whyNot) {
      *whyNot = QStringLiteral(
          "the X server has no usable XKB extension, so Ostrel cannot tell which modifier keys "
          "are held");
    }
    return false;
  }
  xkbFirstEvent_ = xkb->first_event;
  const auto selected = connection_->check(xcb_xkb_select_events_checked(
      c, XCB_XKB_ID_USE_CORE_KBD, kStateNotifications, 0, kStateNotifications, 0, 0, nullptr));
  if (selected) {
    if (whyNot) {
      *whyNot = QStringLiteral("the X server refused XKB state notifications: %1").arg(selected->description());
    }
    return false;
  }
  // Notifications already on their way describe older states than this answer.
  const xcb_xkb_get_state_cookie_t cookie = xcb_xkb_get_state(c, XCB_XKB_ID_USE_CORE_KBD);
  XcbPtr<xcb_xkb_get_state_reply_t> state(xcb_xkb_get_state_reply(c, cookie, nullptr));
  if (!state) {
    if (whyNot) *whyNot = QStringLiteral("the X server does not report the keyboard's modifier state");
    return false;
  }
  xModifiers_ = state->mods;
  stateBaseline_ = cookie.sequence;
  return true;
}

bool X11GlobalKeyMonitor::selectRawKeyPresses(bool on, QString* whyNot) {
  RawKeyPressMask mask;
  mask.bits = on ? XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS : 0;
  const auto error =
      connection_->check(xcb_input_xi_select_events_checked(connection_->get(), connection_->root(), 1, &mask.head));
  if (error && on) {
    if (whyNot) {
      *whyNot = QStringLiteral("the X server refused to report key presses to Ostrel: %1").arg(error->description());
    }
    return false;
  }
  return true;
}

void X11GlobalKeyMonitor::handleEvent(const xcb_generic_event_t& event) {
  const std::uint8_t type = event.response_type & 0x7f;
  if (type == xkbFirstEvent_) {
    const auto& notify = reinterpret_cast<const xcb_xkb_state_notify_event_t&>(event);
    const auto age = static_cast<std::int32_t>(event.full_sequence - stateBaseline_);
    if (notify.xkbType == XCB_XKB_STATE_NOTIFY && age >= 0) xModifiers_ = notify.mods;
    return;
  }
  if (type != XCB_GE_GENERIC) return;
  const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
  if (generic.extension != xinputOpcode_ || generic.event_type != XCB_INPUT_RAW_KEY_PRESS) return;
  const auto& raw = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
  if (raw.detail > kX11MaxKeycode) return;
  const auto virtualKeyCode = virtualKeyCodeForX11Keycode(static_cast<std::uint8_t>(raw.detail));
  if (!virtualKeyCode || isModifierVirtualKeyCode(*virtualKeyCode) || !handler_) return;
  const Handler handler = handler_;  // the handler may stop or destroy this monitor
  handler(KeyPress{*virtualKeyCode, programFlagsForXModifiers(xModifiers_)});
}

}  // namespace ostrel::platform::x11
