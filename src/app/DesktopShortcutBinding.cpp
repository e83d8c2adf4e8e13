#include "app/DesktopShortcutBinding.h"

#include "common/DesktopServices.h"
#include "settings/ProgramValues.h"

namespace ostrel {

DesktopShortcutBinding::DesktopShortcutBinding(platform::GlobalKeyMonitor& monitor) : monitor_(monitor) {
  monitor_.watchShortcuts(currentShortcuts());
  NotificationCenter& center = NotificationCenter::defaultCenter();
  observer_ = ScopedObserver(
      center, center.addObserver(ShortcutValuesDidChangeNotification, nullptr,
                                 [this](const Notification&) { monitor_.watchShortcuts(currentShortcuts()); }));
}

std::vector<platform::WatchedShortcut> DesktopShortcutBinding::currentShortcuts() {
  const bool english = CurrentLanguage != 0;
  struct Slot {
    const QString& id;
    std::uint32_t keyCode;
    std::uint32_t flags;
    const char* english;
    const char* chinese;
  };
  const Slot slots[] = {
      {DesktopShortcutRefresh, RefreshHotkeyKeyCode, RefreshHotkeyModifierFlags, "Fast refresh (clear ghosting)",
       "快速刷新（清除残影）"},
      {DesktopShortcutContrastUp, ThresholdInfoHotkeyKeyCode, ThresholdInfoHotkeyModifierFlags, "Contrast up",
       "增加对比度"},
      {DesktopShortcutContrastDown, ThresholdDownInfoHotkeyKeyCode, ThresholdDownInfoHotkeyModifierFlags,
       "Contrast down", "减小对比度"},
  };
  std::vector<platform::WatchedShortcut> out;
  for (const Slot& slot : slots) {
    const std::uint32_t flags = slot.flags & 0xFFFF0000u;
    if (flags == 0 || slot.keyCode > 0xFFFF) continue;
    out.push_back({slot.id, QString::fromUtf8(english ? slot.english : slot.chinese),
                   static_cast<std::uint16_t>(slot.keyCode), flags});
  }
  return out;
}

}  // namespace ostrel
