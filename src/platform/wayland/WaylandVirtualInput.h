#pragma once
// The monitor's keys and pointer through the compositor's own virtual input
// devices, for compositors that offer them to any client without asking
// (sway and the other wlroots compositors): a keyboard from
// zwp_virtual_keyboard_v1 with a keymap of Ostrel's own, and a pointer from
// zwlr_virtual_pointer_v1. What they send takes the compositor's input path,
// like a person's typing: it reaches the focused window, and a key combination
// bound in the compositor runs its binding.
//
//  - One keyboard and one pointer for the whole session, made by create(): a
//    device that appears just before its input and goes right after is a
//    hot-plug the focused window notices too late (it loses the key).
//  - Keys go as evdev press and release; pointer steps as relative motion;
//    clicks as BTN_LEFT / BTN_RIGHT press and release; a frame closes each
//    group of pointer events.
//  - The pointer's position cannot be read on Wayland, so pointerPosition() is
//    always empty and movePointerTo() fails: the pointer moves by offsets only,
//    and the compositor keeps it on the screens.
//  - No permission is needed, so requestAccess() does nothing.
//  - When the compositor stops reading, input waits in the connection's buffer;
//    while the compositor is that far behind, new input is dropped (logged
//    once) rather than growing the backlog. Once the connection is lost, every
//    call fails and `ostrelctl status` says why.
//
// Input calls come from any thread (the long-move repeat has one of its own)
// and are serialised here, so a release never parts from its press.

#include "platform/InputInjector.h"
#include "platform/wayland/WaylandConnection.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>

struct wl_seat;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

namespace ostrel::platform::wayland {

class VirtualKeymap;

class WaylandVirtualInput final : public InputInjector {
 public:
  // Null with a reason a person can act on when the compositor offers neither
  // device, or refuses them. Main thread, after the QCoreApplication exists.
  static std::unique_ptr<WaylandVirtualInput> create(QString* whyNot);
  ~WaylandVirtualInput() override;

  bool tapKey(std::uint16_t virtualKeyCode) override;
  std::optional<PointerPosition> pointerPosition() override { return std::nullopt; }
  bool movePointerTo(PointerPosition position) override;
  bool movePointerBy(double dx, double dy) override;
  bool clickButton(MouseButton button) override;

  // The key with Ostrel's modifier bits held (keys::kControl ...), as a
  // person presses a shortcut. The monitor's own keys never carry modifiers.
  bool tapKeyWithModifiers(std::uint16_t virtualKeyCode, std::uint32_t modifierFlags);

  // What serves the input, for the log and `ostrelctl status`.
  static QString describe();

  static constexpr std::uint32_t kButtonLeft = 0x110;   // BTN_LEFT
  static constexpr std::uint32_t kButtonRight = 0x111;  // BTN_RIGHT

 private:
  WaylandVirtualInput(std::unique_ptr<WaylandConnection> connection, std::unique_ptr<VirtualKeymap> keymap);
  bool setUp(QString* whyNot);
  // Under the lock: false when nothing can be sent now.
  bool readyLocked(const char* what);
  bool sendLocked(const char* what);
  void onConnectionLost();

  std::unique_ptr<WaylandConnection> connection_;
  std::unique_ptr<VirtualKeymap> keymap_;

  std::mutex mutex_;
  WaylandProxy<wl_seat> seat_;
  WaylandProxy<zwp_virtual_keyboard_manager_v1> keyboardManager_;
  WaylandProxy<zwlr_virtual_pointer_manager_v1> pointerManager_;
  WaylandProxy<zwp_virtual_keyboard_v1> keyboard_;
  WaylandProxy<zwlr_virtual_pointer_v1> pointer_;
  bool backlogged_ = false;
  bool backlogLogged_ = false;
};

}  // namespace ostrel::platform::wayland
