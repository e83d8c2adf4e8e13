#include "platform/x11/X11Modifiers.h"

#include "platform/KeyCodes.h"

#include <algorithm>

namespace ostrel::platform::x11 {

std::uint32_t programFlagsForXModifiers(std::uint16_t xModifiers) {
  std::uint32_t flags = 0;
  if (xModifiers & kXLockMask) flags |= keys::kCapsLock;
  if (xModifiers & kXShiftMask) flags |= keys::kShift;
  if (xModifiers & kXControlMask) flags |= keys::kControl;
  if (xModifiers & kXMod1Mask) flags |= keys::kOption;
  if (xModifiers & kXMod4Mask) flags |= keys::kCommand;
  return flags;
}

bool xModifiersForHotKeyModifiers(std::uint32_t hotKeyModifiers, std::uint16_t* xModifiers) {
  if (hotKeyModifiers & ~kHotKeyModifierBits) return false;
  std::uint16_t mods = 0;
  if (hotKeyModifiers & kHotKeyCommand) mods |= kXMod4Mask;
  if (hotKeyModifiers & kHotKeyShift) mods |= kXShiftMask;
  if (hotKeyModifiers & kHotKeyOption) mods |= kXMod1Mask;
  if (hotKeyModifiers & kHotKeyControl) mods |= kXControlMask;
  *xModifiers = mods;
  return true;
}

std::vector<std::uint16_t> lockVariants(std::uint16_t xModifiers, std::uint16_t numLockMask) {
  std::vector<std::uint16_t> variants;
  for (std::uint16_t extra :
       {std::uint16_t{0}, kXLockMask, numLockMask, static_cast<std::uint16_t>(kXLockMask | numLockMask)}) {
    const auto mods = static_cast<std::uint16_t>(xModifiers | extra);
    if (std::find(variants.begin(), variants.end(), mods) == variants.end()) variants.push_back(mods);
  }
  return variants;
}

std::uint16_t withoutLocks(std::uint16_t xState, std::uint16_t numLockMask) {
  return static_cast<std::uint16_t>(xState & kXModifierBits & ~(kXLockMask | numLockMask));
}

}  // namespace ostrel::platform::x11
