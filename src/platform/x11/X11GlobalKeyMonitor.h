#pragma once
// Watches key presses on the whole desktop without taking them from anyone:
// XInput2 raw key presses selected on the root window, with the modifier state
// followed through XKB state notifications on the same connection.
//
// One callback per press: raw events are selected for the master devices only.
// A press also produces a raw event from the slave device that made it; those
// are not selected, so a key typed on the keyboard (or through XTEST) is seen
// once. Raw events carry no auto-repeat: a held key is one press.
//
// Modifier flags come from the XKB state in effect when the key went down: the
// state notifications travel in the same stream as the raw events, so a
// Control+D typed in a blink still reads as Control+D.
//
// Presses of the modifier keys themselves (Shift, Control, Option, Command, Caps
// Lock, Fn, their right-hand twins) are changes of the flags, not key presses,
// and are not reported.

#include "platform/GlobalKeyMonitor.h"
#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbEventPump.h"

#include <memory>

namespace ostrel::platform::x11 {

class X11GlobalKeyMonitor final : public GlobalKeyMonitor {
 public:
  // Null with a reason when there is no display. Main thread.
  static std::unique_ptr<X11GlobalKeyMonitor> create(QString* whyNot);
  ~X11GlobalKeyMonitor() override;

  bool start(Handler handler, QString* whyNot) override;
  void stop() override;

 private:
  explicit X11GlobalKeyMonitor(std::unique_ptr<XcbConnection> connection);
  bool selectRawKeyPresses(bool on, QString* whyNot);
  bool followModifierState(QString* whyNot);
  void handleEvent(const xcb_generic_event_t& event);

  std::unique_ptr<XcbConnection> connection_;
  std::unique_ptr<XcbEventPump> pump_;
  Handler handler_;
  std::uint8_t xinputOpcode_ = 0;
  std::uint8_t xkbFirstEvent_ = 0;
  std::uint16_t xModifiers_ = 0;
  // Sequence number of the request that read the initial modifier state; older
  // notifications still in the queue are ignored.
  std::uint32_t stateBaseline_ = 0;
};

}  // namespace ostrel::platform::x11
