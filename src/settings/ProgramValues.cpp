#include "ProgramValues.h"

#include "PreferenceKeys.h"
#include "PreferenceStore.h"
#include "WholeNumber.h"
#include "common/Log.h"
#include "platform/KeyCodes.h"

#include <QRegularExpression>

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

std::int32_t PauseWhileIdle = 1;
std::int32_t PageRefreshValue = 0;
std::int32_t IdlePauseSeconds = kDefaultIdlePauseSeconds;

namespace {

constexpr qint64 kLongestAutoClearPeriod = 9999;
constexpr qint64 kLargestKeyCode = 0xFFFF;
constexpr std::uint32_t kKnownModifierBits = keys::kCapsLock | keys::kShortcutModifierMask;

// The stored value when it lies within [minimum, maximum], else 0 (absent).
qint64 storedWithin(const PreferenceStore& store, QLatin1String key, qint64 minimum, qint64 maximum) {
  const qint64 value = store.integerForKey(key);
  if (value >= minimum && value <= maximum) return value;
  log("Preference %@ holds %lld, outside %lld..%lld: it is read as absent", QString(key), static_cast<long long>(value),
      static_cast<long long>(minimum), static_cast<long long>(maximum));
  return 0;
}

// The same for a key whose absence means `absent` rather than 0: a value that
// is no whole number, or one out of range, reads as absent too.
qint64 storedWithin(const PreferenceStore& store, QLatin1String key, qint64 minimum, qint64 maximum, qint64 absent) {
  const QVariant stored = store.objectForKey(key);
  if (!stored.isValid()) return absent;
  const std::optional<qint64> value = wholeNumber(stored);
  if (!value) {
    log("Preference %@ holds \"%@\", not a whole number: it is read as absent", QString(key),
        stored.toString().left(200));
    return absent;
  }
  if (*value >= minimum && *value <= maximum) return *value;
  log("Preference %@ holds %lld, outside %lld..%lld: it is read as absent", QString(key),
      static_cast<long long>(*value), static_cast<long long>(minimum), static_cast<long long>(maximum));
  return absent;
}

void writeUnlessLeftAlone(PreferenceStore& store) {
  // An unusable file is left alone until the settings window is confirmed; the
  // value then goes in with the rest.
  if (!store.isLeavingFileUntouched()) store.synchronize();
}

std::uint32_t storedKeyCode(const PreferenceStore& store, QLatin1String key) {
  return static_cast<std::uint32_t>(storedWithin(store, key, 0, kLargestKeyCode));
}

std::uint32_t storedModifierFlags(const PreferenceStore& store, QLatin1String key) {
  const qint64 value = store.integerForKey(key);
  if (value >= 0 && (static_cast<quint64>(value) & ~static_cast<quint64>(kKnownModifierBits)) == 0) {
    return static_cast<std::uint32_t>(value);
  }
  log("Preference %@ holds %lld, which has bits no modifier key has: it is read as absent", QString(key),
      static_cast<long long>(value));
  return 0;
}

}  // namespace

AutoClearAtStart loadMainWindowPreferences(const PreferenceStore& store) {
  CurrentLanguage = static_cast<std::int32_t>(storedWithin(store, prefkeys::language, 0, 1));
  RefreshHotkeyKeyCode = storedKeyCode(store, prefkeys::refreshHotKeyCode);
  RefreshHotkeyModifierFlags = storedModifierFlags(store, prefkeys::refreshHotKeyCodeFlags);
  ThresholdInfoHotkeyKeyCode = storedKeyCode(store, prefkeys::thresholdHotKeyCode);
  ThresholdInfoHotkeyModifierFlags = storedModifierFlags(store, prefkeys::thresholdHotKeyCodeFlags);
  ThresholdDownInfoHotkeyKeyCode = storedKeyCode(store, prefkeys::thresholdDownHotKeyCode);
  ThresholdDownInfoHotkeyModifierFlags = storedModifierFlags(store, prefkeys::thresholdDownHotKeyCodeFlags);
  PauseWhileIdle = static_cast<std::int32_t>(storedWithin(store, prefkeys::pauseWhileIdle, 0, 1, 1));
  PageRefreshValue = static_cast<std::int32_t>(storedWithin(store, prefkeys::pageRefreshValue, 0, kLongestPageRefresh));
  IdlePauseSeconds = static_cast<std::int32_t>(
      storedWithin(store, prefkeys::idlePauseSeconds, 1, kLongestIdlePauseSeconds, kDefaultIdlePauseSeconds));

  const qint64 period = storedWithin(store, prefkeys::autoClearValue, 0, kLongestAutoClearPeriod);
  const qint64 check = store.integerForKey(prefkeys::autoClearCheckValue);
  if (check != 1 || period == 0) return {};
  return {true, static_cast<std::int32_t>(period)};
}

AutoClearAtStart loadMainWindowPreferences() {
  return loadMainWindowPreferences(PreferenceStore::standard());
}

void loadSettingsWindowPreferences(const PreferenceStore& store) {
  autoClearCheckValue = store.integerForKey(prefkeys::autoClearCheckValue);
  autoClearValue = storedWithin(store, prefkeys::autoClearValue, 0, kLongestAutoClearPeriod);
  autoStart = store.integerForKey(prefkeys::autoStart);
}

void loadSettingsWindowPreferences() {
  loadSettingsWindowPreferences(PreferenceStore::standard());
}

void storePauseWhileIdle(PreferenceStore& store, bool on) {
  PauseWhileIdle = on ? 1 : 0;
  store.setIntegerForKey(prefkeys::pauseWhileIdle, PauseWhileIdle);
  writeUnlessLeftAlone(store);
}

bool storePageRefreshValue(PreferenceStore& store, std::int32_t pageTurns) {
  if (pageTurns < 0 || pageTurns > kLongestPageRefresh) return false;
  PageRefreshValue = pageTurns;
  store.setIntegerForKey(prefkeys::pageRefreshValue, PageRefreshValue);
  writeUnlessLeftAlone(store);
  return true;
}

bool isMonitorAdapterIdentity(const QString& identity) {
  static const QRegularExpression pattern(
      QStringLiteral("^(usb:[0-9a-f]{4}:[0-9a-f]{4}:[\\x21-\\x7e]{0,126}|path:/[^\\x00-\\x1f]{1,4095})$"));
  return pattern.match(identity).hasMatch();
}

QString rememberedMonitorAdapter(const PreferenceStore& store) {
  const QVariant stored = store.objectForKey(prefkeys::monitorAdapter);
  if (!stored.isValid()) return {};
  const QString identity = stored.typeId() == QMetaType::QString ? stored.toString() : QString();
  if (isMonitorAdapterIdentity(identity)) return identity;
  // Once per damaged value: discovery asks at every pass.
  static QString lastLogged;
  const QString shown = stored.toString().left(200);
  if (shown != lastLogged) {
    lastLogged = shown;
    log("Preference %@ holds \"%@\", which names no adapter: it is ignored", QString(prefkeys::monitorAdapter), shown);
  }
  return {};
}

void rememberMonitorAdapter(PreferenceStore& store, const QString& identity) {
  if (!isMonitorAdapterIdentity(identity)) {
    log("Preference %@: \"%@\" names no adapter; it is not stored", QString(prefkeys::monitorAdapter), identity);
    return;
  }
  (void)store.setObjectForKeyAndWrite(prefkeys::monitorAdapter, identity);
}

}  // namespace ostrel
