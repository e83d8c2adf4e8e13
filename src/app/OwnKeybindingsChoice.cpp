#include "app/OwnKeybindingsChoice.h"

#include "common/DesktopServices.h"
#include "keybindings/CompositorKeybindings.h"
#include "keybindings/KeybindingActions.h"
#include "keybindings/KeysLeftToGnome.h"
#include "platform/gnome/GnomePlatform.h"

#include <QCoreApplication>

namespace ostrel {
namespace {

// GNOME Shell's own GlobalShortcuts portal came with 48.
constexpr int kFirstGnomeWithPortal = 48;

}  // namespace

bool isGnomeSession() {
  for (const QString& desktop : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'))) {
    if (desktop.trimmed().compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

std::optional<QString> whyNotGnomePortal(const QDBusConnection& bus) {
  if (!isGnomeSession()) return std::nullopt;
  const std::optional<QString> version = platform::gnomeShellVersion(bus);
  if (!version) {
    return QStringLiteral("GNOME Shell did not say its version, so its GlobalShortcuts portal cannot be relied on");
  }
  bool numeric = false;
  const int major = version->section(QLatin1Char('.'), 0, 0).toInt(&numeric);
  if (numeric && major >= kFirstGnomeWithPortal) return std::nullopt;
  return QStringLiteral("GNOME %1 has no GlobalShortcuts portal of its own").arg(*version);
}

std::unique_ptr<GnomeShortcutsKeeper> keepGnomeShortcuts(const QString& whyNotPortal, QString* whyNot) {
  std::unique_ptr<platform::CustomShortcutStore> store = platform::createGnomeCustomShortcutStore(whyNot);
  if (!store) return nullptr;
  return std::make_unique<GnomeShortcutsKeeper>(std::move(store), ostrelctlIn(QCoreApplication::applicationDirPath()),
                                                whyNotPortal);
}

std::unique_ptr<platform::GlobalKeyMonitor> leaveGnomesKeysToGnome(
    std::unique_ptr<platform::GlobalKeyMonitor> monitor) {
  QString whyNot;
  std::unique_ptr<platform::CustomShortcutStore> store = platform::createGnomeCustomShortcutStore(&whyNot);
  if (!store) return monitor;
  return std::make_unique<KeysLeftToGnome>(std::move(monitor), std::move(store),
                                           ostrelctlIn(QCoreApplication::applicationDirPath()));
}

void offerCompositorKeybindings() {
  if (const std::optional<Compositor> compositor = sessionCompositor()) {
    DesktopServices::shared().setOwnKeybindings(compositorName(*compositor));
  }
}

}  // namespace ostrel
