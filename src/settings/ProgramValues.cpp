#include "ProgramValues.h"

#include "PreferenceKeys.h"
#include "PreferenceStore.h"
#include "common/Log.h"
#include "platform/KeyCodes.h"

namespace ostrel {

std::int32_t CurrentLanguage = 0;

std::uint32_t RefreshHotkeyKeyCode = keys::kD;
std::uint32_t RefreshHotkeyModifierFlags = keys::kControl;
std::uint32_t ThresholdInfoHotkeyKeyCode = keys::kU;
std::uint32_t ThresholdInfoHotkeyModifierFlags = keys::kControl;
std::uint32_t ThresholdDownInfoHotkeyKeyCode = keys::kP;
std::uint32_t ThresholdDownInfoHotkeyModifierFlags = keys::kControl;

std::int64_t autoClearCheckValue = 0;
std::int64_t autoClearValue = 0;
std::int64_t autoStart = 0;
std::int64_t autoClearValue_exit = 0;

std::int32_t currentViewLanguageFlag = 0;

AutoClearAtStart loadMainWindowPreferences(const PreferenceStore& store) {
  CurrentLanguage = static_cast<std::int32_t>(store.integerForKey(prefkeys::language));
  RefreshHotkeyKeyCode = static_cast<std::uint32_t>(store.integerForKey(prefkeys::refreshHotKeyCode));
  RefreshHotkeyModifierFlags = static_cast<std::uint32_t>(store.integerForKey(prefkeys::refreshHotKeyCodeFlags));
  ThresholdInfoHotkeyKeyCode = static_cast<std::uint32_t>(store.integerForKey(prefkeys::thresholdHotKeyCode));
  ThresholdInfoHotkeyModifierFlags =
      static_cast<std::uint32_t>(store.integerForKey(prefkeys::thresholdHotKeyCodeFlags));
  ThresholdDownInfoHotkeyKeyCode = static_cast<std::uint32_t>(store.integerForKey(prefkeys::thresholdDownHotKeyCode));
  ThresholdDownInfoHotkeyModifierFlags =
      static_cast<std::uint32_t>(store.integerForKey(prefkeys::thresholdDownHotKeyCodeFlags));

  const auto period = static_cast<std::int32_t>(store.integerForKey(prefkeys::autoClearValue));
  const qint64 check = store.integerForKey(prefkeys::autoClearCheckValue);
  if (check != 1 || period == 0) return {};
  if (period < 0) {
    log("Preference autoClearValue holds %d seconds: the auto-clear timer stays off", period);
    return {};
  }
  return {true, period};
}

AutoClearAtStart loadMainWindowPreferences() {
  return loadMainWindowPreferences(PreferenceStore::standard());
}

void loadSettingsWindowPreferences(const PreferenceStore& store) {
  autoClearCheckValue = store.integerForKey(prefkeys::autoClearCheckValue);
  autoClearValue = store.integerForKey(prefkeys::autoClearValue);
  autoStart = store.integerForKey(prefkeys::autoStart);
}

void loadSettingsWindowPreferences() {
  loadSettingsWindowPreferences(PreferenceStore::standard());
}

}  // namespace ostrel
