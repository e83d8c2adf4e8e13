#include "ostrelctl/KeybindingsCommand.h"

#include "keybindings/CompositorKeybindings.h"
#include "platform/gnome/GnomePlatform.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"

namespace ostrel::ctl {
namespace {

CtlOutcome failure(const QString& text) {
  return {ExitCode::Failed, QString(), QStringLiteral("ostrelctl: %1\n").arg(text)};
}

CtlOutcome gnomeShortcuts(const CtlRequest& request, const QString& ostrelctl) {
  QString whyNot;
  std::unique_ptr<platform::CustomShortcutStore> store = platform::createGnomeCustomShortcutStore(&whyNot);
  if (!store) return failure(whyNot);
  loadMainWindowPreferences(PreferenceStore::standard());
  const RecordedShortcuts recorded = recordedShortcuts();
  GnomeCustomShortcuts shortcuts(*store, ostrelctl);
  if (request.command == CtlCommand::GnomeShortcutsRemove) {
    const GnomeShortcutsOutcome removed = shortcuts.remove();
    return removed.ok ? CtlOutcome{} : failure(removed.error);
  }
  if (request.command == CtlCommand::GnomeShortcutsAdd) {
    const GnomeShortcutsOutcome added = shortcuts.add(recorded, CurrentLanguage != 0);
    if (!added.ok) return failure(added.error);
  }
  const GnomeShortcutsStatus status = shortcuts.status(recorded);
  const bool complete = request.command == CtlCommand::GnomeShortcutsAdd || status.allWork();
  return {complete ? ExitCode::Done : ExitCode::Failed, gnomeShortcutsText(status, ostrelctl), QString()};
}

CtlOutcome keybindings(const CtlRequest& request, const QString& ostrelctl) {
  const auto compositor = static_cast<Compositor>(request.value);
  loadMainWindowPreferences(PreferenceStore::standard());
  const RecordedShortcuts recorded = recordedShortcuts();
  CtlOutcome outcome{ExitCode::Done, compositorKeybindings(compositor, recorded, ostrelctl), QString()};
  for (KeybindingAction action : missingKeyNames(compositor, recorded)) {
    outcome.code = ExitCode::Failed;
    outcome.error += QStringLiteral(
                         "ostrelctl: the %1 shortcut is on a key %2 has no name for: record another key in "
                         "Ostrel's settings window\n")
                         .arg(keybindingActionName(action, true).toLower(), compositorTitle(compositor));
  }
  return outcome;
}

}  // namespace

bool isKeybindingsCommand(CtlCommand command) {
  return command == CtlCommand::GnomeShortcutsAdd || command == CtlCommand::GnomeShortcutsRemove ||
         command == CtlCommand::GnomeShortcutsStatus || command == CtlCommand::Keybindings;
}

CtlOutcome runKeybindingsCommand(const CtlRequest& request, const QString& ostrelctl) {
  return request.command == CtlCommand::Keybindings ? keybindings(request, ostrelctl)
                                                    : gnomeShortcuts(request, ostrelctl);
}

QString gnomeShortcutsText(const GnomeShortcutsStatus& status, const QString& ostrelctl) {
  QString out;
  for (const GnomeShortcutState& s : status.shortcuts) {
    out += QStringLiteral("%1").arg(keybindingActionId(s.action) + QLatin1Char(':'), -16);
    if (!s.listed) {
      out += QStringLiteral("not among GNOME's custom shortcuts\n");
    } else if (s.keys.isEmpty()) {
      out += QStringLiteral("in GNOME's custom shortcuts without a key\n");
    } else {
      out += QStringLiteral("%1 runs %2\n").arg(s.keys, s.command);
      if (!s.runs) {
        out += QStringLiteral(
                   "                that command does not run an ostrelctl that is there; "
                   "`gnome-shortcuts add` makes it run %1\n")
                   .arg(ostrelctl);
      }
      if (!s.asRecorded) {
        out += QStringLiteral(
            "                not the key recorded in Ostrel's settings; `gnome-shortcuts add` "
            "puts that back\n");
      }
      for (const QString& other : s.sameKeyAs) {
        out += QStringLiteral("                the same key as your shortcut \"%1\": GNOME runs only one of them\n")
                   .arg(other);
      }
    }
    for (const QString& other : s.alsoBy) {
      out += QStringLiteral("                also run by your own shortcut \"%1\"\n").arg(other);
    }
  }
  return out;
}

}  // namespace ostrel::ctl
