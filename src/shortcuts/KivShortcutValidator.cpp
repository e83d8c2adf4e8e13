#include "KivShortcutValidator.h"

#include "KivLocalizedString.h"
#include "KivMenu.h"
#include "KivShortcutMonitor.h"
#include "common/Log.h"
#include "platform/HotKeyService.h"
#include "platform/KeyCodes.h"
#include "settings/ProgramValues.h"

namespace ostrel {
namespace {

constexpr quint64 kCommandOrControl = keys::kCommand | keys::kControl;

// F1..F20 (codes 122 120 99 118 96 97 98 100 101 109 103 111 105 107 113 106 64 79
// 80 90): bit (code - 64).
constexpr quint64 kFunctionKeyBits = 0x0542AEBF04018001ULL;

bool isFunctionKey(quint64 keyCode) {
  return keyCode >= 64 && keyCode <= 122 && ((kFunctionKeyBits >> (keyCode - 64)) & 1) != 0;
}

QString menuMessage(const QString& title) {
  const char* format = CurrentLanguage == 1
                           ? "This shortcut cannot be used because it is already used by the menu item ‘%@’."
                           : "键入快捷键已经被 ‘%@’ 菜单所使用.";
  return formatLog(format, {toLogArg(title)});
}

}  // namespace

KivShortcutValidator& KivShortcutValidator::sharedValidator() {
  static KivShortcutValidator* const validator = new KivShortcutValidator();
  return *validator;
}

KivShortcutValidator::KivShortcutValidator(std::shared_ptr<platform::HotKeyService> hotKeyService)
    : hotKeyService_(std::move(hotKeyService)) {}

bool KivShortcutValidator::isShortcutValid(const KivShortcut& shortcut) const {
  const quint64 keyCode = shortcut.keyCode();
  const quint64 flags = shortcut.modifierFlags();
  if (isFunctionKey(keyCode)) return true;
  if (flags == 0) return false;
  if (flags & kCommandOrControl) return true;
  if (flags & keys::kOption) {
    return keyCode == keys::kSpace || keyCode == keys::kEscape || allowAnyShortcutWithOptionModifier_;
  }
  return false;
}

bool KivShortcutValidator::isShortcutAlreadyTakenInMenu(const KivShortcut& shortcut, const KivMenu* menu,
                                                        QString* explanation) const {
  if (!menu) return false;
  const QString keyEquivalent = shortcut.keyCodeStringForKeyEquivalent();
  // A key without a menu form cannot be anybody's key equivalent.
  if (keyEquivalent.isEmpty()) return false;
  const quint64 flags = shortcut.modifierFlags();
  for (const KivMenuItem& item : menu->items()) {
    if (item.submenu && isShortcutAlreadyTakenInMenu(shortcut, item.submenu.get(), explanation)) return true;
    if (item.keyEquivalent.toLower() != keyEquivalent) continue;
    quint64 mask = item.keyEquivalentModifierMask;
    if (item.keyEquivalent != keyEquivalent) mask |= keys::kShift;  // written in upper case
    if ((mask & KivShortcut::kModifierMask) == flags) {
      if (explanation) *explanation = menuMessage(item.title);
      return true;
    }
  }
  return false;
}

bool KivShortcutValidator::isShortcutAlreadyTakenBySystem(const KivShortcut& shortcut, QString* explanation) const {
  const std::shared_ptr<platform::HotKeyService> service =
      hotKeyService_ ? hotKeyService_ : KivShortcutMonitor::systemHotKeyService();
  // Only real 16-bit key codes exist on the system side; "no key" is never taken.
  if (service && shortcut.keyCode() <= 0xFFFF &&
      service->isTakenBySystem(static_cast<std::uint32_t>(shortcut.keyCode()), shortcut.carbonFlags())) {
    if (explanation) {
      *explanation = KivLocalizedString(
          kivstrings::takenBySystem, QStringLiteral("Message for alert when shortcut is already used by the system"));
    }
    return true;
  }
  const std::shared_ptr<const KivMenu> mainMenu = KivMenu::mainMenu();
  return isShortcutAlreadyTakenInMenu(shortcut, mainMenu.get(), explanation);
}

}  // namespace ostrel
