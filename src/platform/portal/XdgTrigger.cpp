#include "platform/portal/XdgTrigger.h"

#include "platform/KeyCodes.h"
#include "platform/XkbKeyNames.h"

namespace ostrel::platform::portal {

QString xdgTrigger(std::uint16_t virtualKeyCode, std::uint32_t modifierFlags) {
  const char* name = xkbKeyName(virtualKeyCode);
  if (!name) return QString();
  if ((modifierFlags & keys::kShortcutModifierMask) == 0) return QString();
  QString trigger;
  if (modifierFlags & keys::kControl) trigger += QLatin1String("CTRL+");
  if (modifierFlags & keys::kOption) trigger += QLatin1String("ALT+");
  if (modifierFlags & keys::kShift) trigger += QLatin1String("SHIFT+");
  if (modifierFlags & keys::kCommand) trigger += QLatin1String("LOGO+");
  return trigger + QLatin1String(name);
}

}  // namespace ostrel::platform::portal
