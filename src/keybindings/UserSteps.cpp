#include "keybindings/UserSteps.h"

#include "common/DesktopServices.h"
#include "keybindings/CompositorKeybindings.h"

#include <QStringList>

namespace ostrel {
namespace {

QString text(const QVariantMap& d, const char* key) {
  return d.value(QLatin1String(key)).toString();
}

// Whether every shortcut has the key it was recorded with.
bool allAsRecorded(const QVariantMap& d) {
  const QStringList preferred = d.value(QStringLiteral("ShortcutsPreferred")).toStringList();
  const QStringList assigned = d.value(QStringLiteral("ShortcutsAssigned")).toStringList();
  for (qsizetype i = 0; i < preferred.size(); ++i) {
    if (!ShortcutAssignment{QString(), preferred[i], assigned.value(i)}.matchesPreferred()) return false;
  }
  return true;
}

}  // namespace

ShortcutsStep shortcutsStep(const QVariantMap& d) {
  const QString backend = text(d, "ShortcutsBackend");
  const QString binding = text(d, "ShortcutsBinding");
  if (backend == QLatin1String("gnome"))
    return allAsRecorded(d) ? ShortcutsStep::None : ShortcutsStep::RestoreGnomeKeys;
  if (backend == QLatin1String("portal")) {
    if (binding == QLatin1String("asking")) return ShortcutsStep::AnswerDesktop;
    if (binding == QLatin1String("declined") || binding == QLatin1String("failed")) return ShortcutsStep::AskAgain;
    if (binding == QLatin1String("bound") && !allAsRecorded(d)) return ShortcutsStep::ChangeInDesktop;
    return ShortcutsStep::None;
  }
  if (!backend.isEmpty()) return ShortcutsStep::None;
  const QString own = text(d, "OwnKeybindings");
  if (own == QLatin1String("gnome")) return ShortcutsStep::AddToGnome;
  if (compositorNamed(own)) return ShortcutsStep::PasteKeybindings;
  return ShortcutsStep::BindOstrelctl;
}

InputStep inputStep(const QVariantMap& d) {
  return text(d, "InputBackend") == QLatin1String("portal") ? InputStep::AllowWhenAsked : InputStep::None;
}

}  // namespace ostrel
