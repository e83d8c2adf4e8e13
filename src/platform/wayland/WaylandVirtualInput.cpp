#include "platform/wayland/WaylandVirtualInput.h"

#include "common/DesktopServices.h"
#include "common/Log.h"
#include "platform/KeyCodes.h"
#include "platform/wayland/VirtualKeymap.h"
#include "platform/x11/KeyCodeMap.h"

#include <virtual-keyboard-unstable-v1-client.h>
#include <wayland-client.h>
#include <wlr-virtual-pointer-unstable-v1-client.h>
#include <chrono>
#include <cmath>

namespace ostrel::platform::wayland {
namespace {

constexpr std::uint32_t kReleased = 0;  // wl_keyboard.key_state, wl_pointer.button_state
constexpr std::uint32_t kPressed = 1;
// Beyond this a pointer step is no step but a jump across the screens.
constexpr double kLongestStep = 10'000;

// One clock for every request of a device, in milliseconds.
std::uint32_t now() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

const char* const kBackend = "wayland";

void setInputState(const QString& detail) {
  DesktopServices::shared().setState(DesktopService::Input, {QLatin1String(kBackend), detail});
}

}  // namespace

QString WaylandVirtualInput::describe() {
  return QStringLiteral(
      "the Wayland compositor's virtual keyboard and pointer (zwp_virtual_keyboard_v1, zwlr_virtual_pointer_v1)");
}

std::unique_ptr<WaylandVirtualInput> WaylandVirtualInput::create(QString* whyNot) {
  std::unique_ptr<WaylandConnection> connection = WaylandConnection::open(whyNot);
  if (!connection) return nullptr;
  QStringList missing;
  for (const wl_interface* interface :
       {&zwp_virtual_keyboard_manager_v1_interface, &zwlr_virtual_pointer_manager_v1_interface, &wl_seat_interface}) {
    if (!connection->offers(*interface)) missing << QLatin1String(interface->name);
  }
  if (!missing.isEmpty()) {
    if (whyNot) {
      const QString last = missing.takeLast();
      const QString all =
          missing.isEmpty() ? last : missing.join(QLatin1String(", no ")) + QStringLiteral(" and no ") + last;
      *whyNot = QStringLiteral("the Wayland compositor offers no %1 for a virtual keyboard and pointer").arg(all);
    }
    return nullptr;
  }
  std::unique_ptr<VirtualKeymap> keymap = VirtualKeymap::create(whyNot);
  if (!keymap) return nullptr;
  // Every key the monitor may press must be on the keyboard.
  for (const std::uint16_t key : {keys::kPageDown, keys::kPageUp, keys::kDownArrow, keys::kUpArrow, keys::kDelete}) {
    const std::optional<std::uint16_t> evdev = x11::evdevCodeForVirtualKeyCode(key);
    if (!evdev || !keymap->hasKey(*evdev)) {
      if (whyNot) *whyNot = QStringLiteral("the virtual keyboard's keymap lacks key code %1").arg(key);
      return nullptr;
    }
  }
  std::unique_ptr<WaylandVirtualInput> input(new WaylandVirtualInput(std::move(connection), std::move(keymap)));
  if (!input->setUp(whyNot)) return nullptr;
  setInputState(describe() + QStringLiteral(": no permission needed"));
  return input;
}

WaylandVirtualInput::WaylandVirtualInput(std::unique_ptr<WaylandConnection> connection,
                                         std::unique_ptr<VirtualKeymap> keymap)
    : connection_(std::move(connection)),
      keymap_(std::move(keymap)),
      seat_(noProxy<wl_seat>()),
      keyboardManager_(noProxy<zwp_virtual_keyboard_manager_v1>()),
      pointerManager_(noProxy<zwlr_virtual_pointer_manager_v1>()),
      keyboard_(noProxy<zwp_virtual_keyboard_v1>()),
      pointer_(noProxy<zwlr_virtual_pointer_v1>()) {}

WaylandVirtualInput::~WaylandVirtualInput() {
  std::lock_guard lock(mutex_);
  pointer_.reset();
  keyboard_.reset();
  pointerManager_.reset();
  keyboardManager_.reset();
  seat_.reset();
}

bool WaylandVirtualInput::setUp(QString* whyNot) {
  WaylandConnection& c = *connection_;
  seat_ = ownProxy(c.bind<wl_seat>(wl_seat_interface, 1), wl_seat_destroy);
  keyboardManager_ = ownProxy(c.bind<zwp_virtual_keyboard_manager_v1>(zwp_virtual_keyboard_manager_v1_interface, 1),
                              zwp_virtual_keyboard_manager_v1_destroy);
  pointerManager_ = ownProxy(c.bind<zwlr_virtual_pointer_manager_v1>(zwlr_virtual_pointer_manager_v1_interface, 1),
                             zwlr_virtual_pointer_manager_v1_destroy);
  if (!seat_ || !keyboardManager_ || !pointerManager_) {
    if (whyNot) *whyNot = QStringLiteral("the Wayland compositor's virtual input managers could not be bound");
    return false;
  }
  keyboard_ = ownProxy(zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboardManager_.get(), seat_.get()),
                       zwp_virtual_keyboard_v1_destroy);
  pointer_ = ownProxy(zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointerManager_.get(), seat_.get()),
                      zwlr_virtual_pointer_v1_destroy);
  if (!keyboard_ || !pointer_) {
    if (whyNot) *whyNot = QStringLiteral("the Wayland compositor's virtual keyboard or pointer could not be made");
    return false;
  }
  QString noFile;
  const UniqueFd file = keymap_->sealedCopy(&noFile);
  if (!file.valid()) {
    if (whyNot) *whyNot = QStringLiteral("the virtual keyboard's keymap could not be handed over: %1").arg(noFile);
    return false;
  }
  // libwayland sends a copy of the descriptor; ours closes with `file`.
  zwp_virtual_keyboard_v1_keymap(keyboard_.get(), WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file.get(),
                                 static_cast<std::uint32_t>(keymap_->text().size()));
  // The compositor refuses a device or a keymap with a protocol error; the
  // round trip brings it here rather than at the first key.
  if (!c.roundTrip()) {
    if (whyNot) {
      *whyNot = QStringLiteral("the Wayland compositor refused Ostrel's virtual keyboard and pointer (%1)")
                    .arg(c.lossReason());
    }
    return false;
  }
  c.setLossHandler([this] { onConnectionLost(); });
  return true;
}

void WaylandVirtualInput::onConnectionLost() {
  setInputState(
      describe() +
      QStringLiteral(": the compositor closed the connection (%1); restart Ostrel").arg(connection_->lossReason()));
}

bool WaylandVirtualInput::readyLocked(const char* what) {
  if (connection_->lost()) return false;
  if (!backlogged_) return true;
  // The compositor took nothing of the last input yet. One more group may
  // wait with it; beyond that it would only arrive late, or overflow the
  // connection's buffer.
  switch (connection_->flush()) {
    case WaylandConnection::Flush::Sent:
      backlogged_ = false;
      return true;
    case WaylandConnection::Flush::Pending:
      if (!backlogLogged_) {
        backlogLogged_ = true;
        log("The Wayland compositor takes no input; the monitor's %s and whatever follows it while it does not are "
            "dropped",
            what);
      }
      return false;
    case WaylandConnection::Flush::Broken:
      break;
  }
  return false;
}

bool WaylandVirtualInput::sendLocked(const char* what) {
  switch (connection_->flush()) {
    case WaylandConnection::Flush::Sent:
      backlogLogged_ = false;
      return true;
    case WaylandConnection::Flush::Pending:
      backlogged_ = true;
      return true;
    case WaylandConnection::Flush::Broken:
      break;
  }
  log("Wayland input: the %s did not reach the compositor (%@)", what, connection_->lossReason());
  return false;
}

bool WaylandVirtualInput::tapKey(std::uint16_t virtualKeyCode) {
  return tapKeyWithModifiers(virtualKeyCode, 0);
}

bool WaylandVirtualInput::tapKeyWithModifiers(std::uint16_t virtualKeyCode, std::uint32_t modifierFlags) {
  const std::optional<std::uint16_t> evdev = x11::evdevCodeForVirtualKeyCode(virtualKeyCode);
  if (!evdev || !keymap_->hasKey(*evdev)) {
    log("Wayland input: virtual key code %u has no key on the virtual keyboard", virtualKeyCode);
    return false;
  }
  const std::uint32_t mask = keymap_->modifierMask(modifierFlags);
  std::lock_guard lock(mutex_);
  if (!readyLocked("key")) return false;
  zwp_virtual_keyboard_v1* k = keyboard_.get();
  const std::uint32_t time = now();
  // Both halves go in one write: nothing can come between them, and a
  // modifier state is never left behind.
  if (mask) zwp_virtual_keyboard_v1_modifiers(k, mask, 0, 0, 0);
  zwp_virtual_keyboard_v1_key(k, time, *evdev, kPressed);
  zwp_virtual_keyboard_v1_key(k, time, *evdev, kReleased);
  if (mask) zwp_virtual_keyboard_v1_modifiers(k, 0, 0, 0, 0);
  return sendLocked("key");
}

bool WaylandVirtualInput::movePointerTo(PointerPosition position) {
  (void)position;
  return false;
}

bool WaylandVirtualInput::movePointerBy(double dx, double dy) {
  if (!std::isfinite(dx) || !std::isfinite(dy) || std::abs(dx) > kLongestStep || std::abs(dy) > kLongestStep) {
    log("Wayland input: pointer step (%f, %f) is outside any screen; not moved", dx, dy);
    return false;
  }
  std::lock_guard lock(mutex_);
  if (!readyLocked("pointer step")) return false;
  zwlr_virtual_pointer_v1_motion(pointer_.get(), now(), wl_fixed_from_double(dx), wl_fixed_from_double(dy));
  zwlr_virtual_pointer_v1_frame(pointer_.get());
  return sendLocked("pointer step");
}

bool WaylandVirtualInput::clickButton(MouseButton button) {
  const std::uint32_t code = button == MouseButton::Left ? kButtonLeft : kButtonRight;
  std::lock_guard lock(mutex_);
  if (!readyLocked("click")) return false;
  zwlr_virtual_pointer_v1* p = pointer_.get();
  const std::uint32_t time = now();
  zwlr_virtual_pointer_v1_button(p, time, code, kPressed);
  zwlr_virtual_pointer_v1_frame(p);
  zwlr_virtual_pointer_v1_button(p, time, code, kReleased);
  zwlr_virtual_pointer_v1_frame(p);
  return sendLocked("click");
}

}  // namespace ostrel::platform::wayland
