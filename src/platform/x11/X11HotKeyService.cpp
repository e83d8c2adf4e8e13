#include "platform/x11/X11HotKeyService.h"

#include "common/Log.h"
#include "platform/x11/KeyCodeMap.h"
#include "platform/x11/X11Modifiers.h"
#include "platform/x11/XcbXkb.h"

namespace ostrel::platform::x11 {
namespace {

constexpr xcb_keysym_t kNumLockKeysym = 0xff7f;
constexpr std::uint8_t kModifierCount = 8;

// The modifier bit the server's modifier mapping gives the Num Lock key, or 0.
std::uint16_t findNumLockMask(const XcbConnection& connection) {
  xcb_connection_t* c = connection.get();
  const xcb_setup_t* setup = xcb_get_setup(c);
  auto modifierCookie = xcb_get_modifier_mapping(c);
  auto keyboardCookie = xcb_get_keyboard_mapping(
      c, setup->min_keycode, static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1));
  XcbPtr<xcb_get_modifier_mapping_reply_t> modifiers(xcb_get_modifier_mapping_reply(c, modifierCookie, nullptr));
  XcbPtr<xcb_get_keyboard_mapping_reply_t> keyboard(xcb_get_keyboard_mapping_reply(c, keyboardCookie, nullptr));
  if (!modifiers || !keyboard) return 0;
  const xcb_keycode_t* modifierKeys = xcb_get_modifier_mapping_keycodes(modifiers.get());
  const int modifierKeyCount = xcb_get_modifier_mapping_keycodes_length(modifiers.get());
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(keyboard.get());
  const int keysymCount = xcb_get_keyboard_mapping_keysyms_length(keyboard.get());
  const int perKeycode = keyboard->keysyms_per_keycode;
  const int perModifier = modifiers->keycodes_per_modifier;
  for (int modifier = 0; modifier < kModifierCount; ++modifier) {
    for (int slot = 0; slot < perModifier; ++slot) {
      const int index = modifier * perModifier + slot;
      if (index >= modifierKeyCount) break;
      const xcb_keycode_t keycode = modifierKeys[index];
      if (keycode < setup->min_keycode) continue;
      for (int level = 0; level < perKeycode; ++level) {
        const int symIndex = (keycode - setup->min_keycode) * perKeycode + level;
        if (symIndex < keysymCount && keysyms[symIndex] == kNumLockKeysym) {
          return static_cast<std::uint16_t>(1u << modifier);
        }
      }
    }
  }
  return 0;
}

}  // namespace

std::unique_ptr<X11HotKeyService> X11HotKeyService::create(QString* whyNot) {
  auto connection = XcbConnection::open(whyNot);
  if (!connection) return nullptr;
  return std::unique_ptr<X11HotKeyService>(new X11HotKeyService(std::move(connection)));
}

X11HotKeyService::X11HotKeyService(std::unique_ptr<XcbConnection> connection) : connection_(std::move(connection)) {
  xcb_connection_t* c = connection_->get();
  numLockMask_ = findNumLockMask(*connection_);
  // Without XKB, repeats come as release/press pairs with one timestamp, which
  // handleEvent() recognises as well.
  if (connection_->extension(&xcb_xkb_id)) {
    XcbPtr<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
    if (use && use->supported) {
      XcbPtr<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
          c,
          xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                   XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0),
          nullptr));
    }
  }
  pump_ =
      std::make_unique<XcbEventPump>(*connection_, [this](const xcb_generic_event_t& event) { handleEvent(event); });
  pump_->drainSoon();
}

X11HotKeyService::~X11HotKeyService() {
  pump_.reset();
  for (const auto& [combination, count] : grabs_) ungrabAllVariants(combination);
  connection_->roundTrip();
}

std::optional<X11HotKeyService::Combination> X11HotKeyService::combinationFor(std::uint32_t virtualKeyCode,
                                                                              std::uint32_t hotKeyModifiers,
                                                                              const char* purpose) const {
  const auto keycode =
      virtualKeyCode <= 0xFFFF ? x11KeycodeForVirtualKeyCode(static_cast<std::uint16_t>(virtualKeyCode)) : std::nullopt;
  if (!keycode) {
    ostrel::log("X11 hotkeys: %s: virtual key code %u has no key on this system", purpose, virtualKeyCode);
    return std::nullopt;
  }
  std::uint16_t mods = 0;
  if (!xModifiersForHotKeyModifiers(hotKeyModifiers, &mods)) {
    ostrel::log("X11 hotkeys: %s: modifier bits 0x%X include bits other than Command, Shift, Option and Control",
                purpose, hotKeyModifiers);
    return std::nullopt;
  }
  return Combination{*keycode, mods};
}

X11HotKeyService::GrabOutcome X11HotKeyService::grabAllVariants(const Combination& combination) {
  xcb_connection_t* c = connection_->get();
  const std::vector<std::uint16_t> variants = lockVariants(combination.second, numLockMask_);
  std::vector<xcb_void_cookie_t> cookies;
  cookies.reserve(variants.size());
  for (std::uint16_t mods : variants) {
    cookies.push_back(xcb_grab_key_checked(c, 1, connection_->root(), mods, combination.first, XCB_GRAB_MODE_ASYNC,
                                           XCB_GRAB_MODE_ASYNC));
  }
  std::optional<XcbError> refusal;
  std::vector<std::uint16_t> taken;
  for (std::size_t i = 0; i < variants.size(); ++i) {
    const auto error = connection_->check(cookies[i]);
    if (!error) {
      taken.push_back(variants[i]);
    } else if (!refusal) {
      refusal = error;
    }
  }
  pump_->drainSoon();
  if (!refusal) return GrabOutcome::Taken;
  for (std::uint16_t mods : taken) xcb_ungrab_key(c, combination.first, connection_->root(), mods);
  // Done before answering, so that nothing of a refused registration is held
  // when the caller (or another client) acts on the answer.
  connection_->roundTrip();
  if (refusal->errorCode == XcbError::kBadAccess) return GrabOutcome::HeldByOtherClient;
  ostrel::log("X11 hotkeys: grabbing key %u with modifiers 0x%X failed: %@", combination.first, combination.second,
              refusal->description());
  return GrabOutcome::Failed;
}

void X11HotKeyService::ungrabAllVariants(const Combination& combination) {
  for (std::uint16_t mods : lockVariants(combination.second, numLockMask_)) {
    xcb_ungrab_key(connection_->get(), combination.first, connection_->root(), mods);
  }
  keysDown_.erase(combination.first);
}

std::optional<HotKeyService::Handle> X11HotKeyService::registerHotKey(std::uint32_t virtualKeyCode,
                                                                      std::uint32_t hotKeyModifiers, HotKeyId id) {
  const auto combination = combinationFor(virtualKeyCode, hotKeyModifiers, "cannot register");
  if (!combination) return std::nullopt;
  auto grab = grabs_.find(*combination);
  if (grab == grabs_.end()) {
    if (grabAllVariants(*combination) != GrabOutcome::Taken) return std::nullopt;
    grab = grabs_.emplace(*combination, 0).first;
  }
  ++grab->second;
  const Handle handle = nextHandle_++;
  registrations_.emplace(handle, Registration{*combination, id});
  return handle;
}

void X11HotKeyService::unregisterHotKey(Handle handle) {
  const auto registration = registrations_.find(handle);
  if (registration == registrations_.end()) return;
  const Combination combination = registration->second.combination;
  registrations_.erase(registration);
  const auto grab = grabs_.find(combination);
  if (grab != grabs_.end() && --grab->second == 0) {
    grabs_.erase(grab);
    ungrabAllVariants(combination);
    // Checked, so that a press typed right after this returns reaches the focused
    // window instead of being swallowed by a grab still in flight.
    connection_->roundTrip();
    pump_->drainSoon();
  }
}

void X11HotKeyService::setPressedHandler(PressedHandler handler) {
  pressedHandler_ = std::move(handler);
}

bool X11HotKeyService::isTakenBySystem(std::uint32_t virtualKeyCode, std::uint32_t hotKeyModifiers) {
  const auto combination = combinationFor(virtualKeyCode, hotKeyModifiers, "cannot probe");
  if (!combination) return false;
  // Ostrel's own hotkey is not the system's; probing it would also release it.
  if (grabs_.count(*combination)) return false;
  switch (grabAllVariants(*combination)) {
    case GrabOutcome::Taken:
      ungrabAllVariants(*combination);
      connection_->roundTrip();
      return false;
    case GrabOutcome::HeldByOtherClient:
      return true;
    case GrabOutcome::Failed:
      return false;
  }
  return false;
}

void X11HotKeyService::handleEvent(const xcb_generic_event_t& event) {
  switch (event.response_type & 0x7f) {
    case XCB_KEY_PRESS: {
      const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
      const bool repeatWithoutRelease = keysDown_.count(press.detail) != 0;
      const bool repeatAfterRelease = press.detail == lastReleasedKey_ && press.time == lastReleaseTime_;
      keysDown_.insert(press.detail);
      if (repeatWithoutRelease || repeatAfterRelease) return;
      const Combination pressed{press.detail, withoutLocks(press.state, numLockMask_)};
      for (auto it = registrations_.rbegin(); it != registrations_.rend(); ++it) {
        if (it->second.combination != pressed) continue;
        if (pressedHandler_) {
          const PressedHandler handler = pressedHandler_;  // may unregister or destroy
          handler(it->second.id);
        }
        return;
      }
      return;
    }
    case XCB_KEY_RELEASE: {
      const auto& release = reinterpret_cast<const xcb_key_release_event_t&>(event);
      keysDown_.erase(release.detail);
      lastReleasedKey_ = release.detail;
      lastReleaseTime_ = release.time;
      return;
    }
    case XCB_MAPPING_NOTIFY: {
      const auto& mapping = reinterpret_cast<const xcb_mapping_notify_event_t&>(event);
      if (mapping.request == XCB_MAPPING_MODIFIER || mapping.request == XCB_MAPPING_KEYBOARD) readNumLockMask();
      return;
    }
    default:
      return;
  }
}

void X11HotKeyService::readNumLockMask() {
  const std::uint16_t mask = findNumLockMask(*connection_);
  if (mask == numLockMask_) return;
  // Num Lock moved to another modifier: the grabs made for its old bit no longer
  // cover it.
  const auto combinations = grabs_;
  for (const auto& [combination, count] : combinations) ungrabAllVariants(combination);
  numLockMask_ = mask;
  for (const auto& [combination, count] : combinations) {
    if (grabAllVariants(combination) != GrabOutcome::Taken) {
      ostrel::log("X11 hotkeys: key %u with modifiers 0x%X could not be grabbed again after a keyboard mapping change",
                  combination.first, combination.second);
    }
  }
}

}  // namespace ostrel::platform::x11
