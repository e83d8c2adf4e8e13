#include "platform/wayland/VirtualKeymap.h"

#include "platform/KeyCodes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <xkbcommon/xkbcommon.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ostrel::platform::wayland {
namespace {

// xkb numbers keys as evdev code + 8, as X servers do.
constexpr std::uint32_t kXkbKeycodeOffset = 8;

QString systemError() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

std::unique_ptr<VirtualKeymap> VirtualKeymap::create(QString* whyNot) {
  // No environment names: XKB_DEFAULT_LAYOUT and friends describe the user's
  // own keyboard, not this one.
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  if (!context) {
    if (whyNot) *whyNot = QStringLiteral("libxkbcommon could not start (%1)").arg(systemError());
    return nullptr;
  }
  std::unique_ptr<xkb_context, void (*)(xkb_context*)> ownedContext(context, xkb_context_unref);
  const xkb_rule_names names{.rules = "evdev", .model = "pc105", .layout = "us", .variant = "", .options = ""};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (!keymap) {
    if (whyNot) {
      *whyNot = QStringLiteral(
          "libxkbcommon could not make a keymap for Ostrel's virtual keyboard: the keyboard descriptions "
          "(Debian package xkb-data) are missing");
    }
    return nullptr;
  }
  std::unique_ptr<xkb_keymap, void (*)(xkb_keymap*)> ownedKeymap(keymap, xkb_keymap_unref);
  char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
  if (!text) {
    if (whyNot) *whyNot = QStringLiteral("libxkbcommon could not write out the virtual keyboard's keymap");
    return nullptr;
  }
  std::string copy(text, std::strlen(text) + 1);
  std::free(text);
  return std::unique_ptr<VirtualKeymap>(
      new VirtualKeymap(ownedContext.release(), ownedKeymap.release(), std::move(copy)));
}

VirtualKeymap::VirtualKeymap(xkb_context* context, xkb_keymap* keymap, std::string text)
    : context_(context, xkb_context_unref), keymap_(keymap, xkb_keymap_unref), text_(std::move(text)) {}

VirtualKeymap::~VirtualKeymap() = default;

UniqueFd VirtualKeymap::sealedCopy(QString* whyNot) const {
  UniqueFd fd(::memfd_create("ostrel-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!fd.valid()) {
    if (whyNot) *whyNot = QStringLiteral("no memory file for the keymap (%1)").arg(systemError());
    return {};
  }
  std::size_t written = 0;
  while (written < text_.size()) {
    const ssize_t n = ::write(fd.get(), text_.data() + written, text_.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (whyNot) *whyNot = QStringLiteral("the keymap could not be written (%1)").arg(systemError());
      return {};
    }
    written += static_cast<std::size_t>(n);
  }
  // The compositor maps it; nobody may change it under its feet.
  if (::fcntl(fd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
    if (whyNot) *whyNot = QStringLiteral("the keymap's memory file could not be sealed (%1)").arg(systemError());
    return {};
  }
  return fd;
}

bool VirtualKeymap::hasKey(std::uint32_t evdevCode) const {
  const xkb_keycode_t key = evdevCode + kXkbKeycodeOffset;
  const xkb_keysym_t* symbols = nullptr;
  return xkb_keymap_key_get_syms_by_level(keymap_.get(), key, 0, 0, &symbols) > 0;
}

std::uint32_t VirtualKeymap::modifierMask(std::uint32_t modifierFlags) const {
  const struct {
    std::uint32_t flag;
    const char* name;
  } modifiers[] = {{keys::kShift, XKB_MOD_NAME_SHIFT},
                   {keys::kControl, XKB_MOD_NAME_CTRL},
                   {keys::kOption, XKB_MOD_NAME_ALT},
                   {keys::kCommand, XKB_MOD_NAME_LOGO},
                   {keys::kCapsLock, XKB_MOD_NAME_CAPS}};
  std::uint32_t mask = 0;
  for (const auto& m : modifiers) {
    if (!(modifierFlags & m.flag)) continue;
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap_.get(), m.name);
    if (index != XKB_MOD_INVALID && index < 32) mask |= 1u << index;
  }
  return mask;
}

}  // namespace ostrel::platform::wayland
