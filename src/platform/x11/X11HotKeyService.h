#pragma once
// System-wide hotkeys as key grabs on the root window, on a connection of the
// service's own, read on the main thread.
//
// Each registration grabs its key with the asked modifiers and again with Caps
// Lock, with Num Lock and with both, so that a lock being on does not defeat the
// hotkey. Every grab is checked on its own; when the server refuses one
// (BadAccess: another client holds that combination) the ones already taken
// are released again and the registration fails.
//
// Presses: one call per press. Auto-repeat is asked to arrive as repeated
// presses without releases (XKB detectable auto-repeat) and is recognised either
// way, so holding a hotkey runs it once.
//
// Registering a combination this service already holds succeeds without a new
// grab (X lets a client re-grab its own keys); presses then go to the newest
// registration, and the grab stays until the last registration of it is gone.

#include "platform/HotKeyService.h"
#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbEventPump.h"

#include <QString>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace ostrel::platform::x11 {

class X11HotKeyService final : public HotKeyService {
 public:
  // Null with a reason when there is no display. Main thread.
  static std::unique_ptr<X11HotKeyService> create(QString* whyNot);
  ~X11HotKeyService() override;

  std::optional<Handle> registerHotKey(std::uint32_t virtualKeyCode, std::uint32_t hotKeyModifiers,
                                       HotKeyId id) override;
  void unregisterHotKey(Handle handle) override;
  void setPressedHandler(PressedHandler handler) override;
  bool isTakenBySystem(std::uint32_t virtualKeyCode, std::uint32_t hotKeyModifiers) override;

 private:
  // A key with its modifiers, locks excluded.
  using Combination = std::pair<std::uint8_t, std::uint16_t>;
  struct Registration {
    Combination combination;
    HotKeyId id;
  };
  enum class GrabOutcome { Taken, HeldByOtherClient, Failed };

  explicit X11HotKeyService(std::unique_ptr<XcbConnection> connection);
  std::optional<Combination> combinationFor(std::uint32_t virtualKeyCode, std::uint32_t hotKeyModifiers,
                                            const char* purpose) const;
  GrabOutcome grabAllVariants(const Combination& combination);
  void ungrabAllVariants(const Combination& combination);
  void readNumLockMask();
  void handleEvent(const xcb_generic_event_t& event);

  std::unique_ptr<XcbConnection> connection_;
  std::unique_ptr<XcbEventPump> pump_;
  PressedHandler pressedHandler_;
  std::uint16_t numLockMask_ = 0;
  Handle nextHandle_ = 1;
  std::map<Handle, Registration> registrations_;  // handles grow, so newest last
  std::map<Combination, int> grabs_;              // registrations per grabbed combination
  std::set<std::uint8_t> keysDown_;               // grabbed keys pressed and not yet released
  std::uint8_t lastReleasedKey_ = 0;
  std::uint32_t lastReleaseTime_ = 0;
};

}  // namespace ostrel::platform::x11
