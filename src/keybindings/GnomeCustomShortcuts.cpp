#include "keybindings/GnomeCustomShortcuts.h"

#include "keybindings/DesktopKeyNames.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <optional>

namespace ostrel {
namespace {

QString entryName(KeybindingAction action, bool english) {
  return (english ? QStringLiteral("Ostrel: ") : QStringLiteral("Ostrel：")) + keybindingActionName(action, english);
}

// GNOME reads a custom shortcut's command like a desktop entry's Exec line.
std::optional<OstrelctlCall> callInGnomeCommand(const QString& command) {
  QString unescaped = command;
  unescaped.replace(QLatin1String("%%"), QLatin1String("%"));
  return ostrelctlCallIn(unescaped);
}

bool programExists(const QString& program) {
  if (program.contains(QLatin1Char('/'))) {
    const QFileInfo file(program);
    return file.isFile() && file.isExecutable();
  }
  return !QStandardPaths::findExecutable(program).isEmpty();
}

const char* const kNotKept =
    "GNOME's settings did not keep the change (is dconf-service running on this session bus, and is "
    "~/.config/dconf writable?)";

}  // namespace

bool GnomeShortcutsStatus::allWork() const {
  if (shortcuts.empty()) return false;
  for (const GnomeShortcutState& s : shortcuts) {
    if (!s.works()) return false;
  }
  return true;
}

bool GnomeShortcutsStatus::anyListed() const {
  for (const GnomeShortcutState& s : shortcuts) {
    if (s.listed) return true;
  }
  return false;
}

const GnomeShortcutState* GnomeShortcutsStatus::of(KeybindingAction action) const {
  for (const GnomeShortcutState& s : shortcuts) {
    if (s.action == action) return &s;
  }
  return nullptr;
}

GnomeCustomShortcuts::GnomeCustomShortcuts(platform::CustomShortcutStore& store, QString ostrelctl)
    : store_(store), ostrelctl_(std::move(ostrelctl)) {}

QString GnomeCustomShortcuts::folderPath() {
  return QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");
}

QString GnomeCustomShortcuts::entryPath(KeybindingAction action) {
  return folderPath() + QStringLiteral("ostrel-") + keybindingActionId(action) + QLatin1Char('/');
}

QStringList GnomeCustomShortcuts::entryPaths() {
  QStringList paths;
  for (KeybindingAction action : kKeybindingActions) paths << entryPath(action);
  return paths;
}

QString GnomeCustomShortcuts::gnomeCommand(const QString& ostrelctl, KeybindingAction action) {
  QString command = ostrelctlCommand(ostrelctl, action);
  command.replace(QLatin1Char('%'), QLatin1String("%%"));
  return command;
}

platform::CustomShortcutEntry GnomeCustomShortcuts::entryFor(const RecordedShortcut& shortcut, bool english) const {
  return {entryName(shortcut.action, english), gnomeCommand(ostrelctl_, shortcut.action),
          keysIn(KeySyntax::Gnome, shortcut.keyCode, shortcut.modifierFlags)};
}

GnomeShortcutsOutcome GnomeCustomShortcuts::add(const RecordedShortcuts& shortcuts, bool english) {
  return write(shortcuts, english, true);
}

GnomeShortcutsOutcome GnomeCustomShortcuts::update(const RecordedShortcuts& shortcuts, bool english) {
  return write(shortcuts, english, false);
}

GnomeShortcutsOutcome GnomeCustomShortcuts::write(const RecordedShortcuts& shortcuts, bool english, bool addToList) {
  const QStringList before = store_.paths();
  std::vector<RecordedShortcut> written;
  for (const RecordedShortcut& s : shortcuts) {
    if (addToList || before.contains(entryPath(s.action))) written.push_back(s);
  }
  if (written.empty()) return {};
  if (!programExists(ostrelctl_)) {
    return {false, QStringLiteral("%1 is missing: ostrelctl is not installed beside Ostrel").arg(ostrelctl_)};
  }
  for (const RecordedShortcut& s : written) {
    if (keysIn(KeySyntax::Gnome, s.keyCode, s.modifierFlags).isEmpty()) {
      return {false, QStringLiteral("the %1 shortcut is on a key GNOME has no name for (key code %2): record "
                                    "another key in Ostrel's settings window")
                         .arg(keybindingActionName(s.action, true).toLower())
                         .arg(s.keyCode)};
    }
  }
  for (const RecordedShortcut& s : written) {
    if (!store_.setEntry(entryPath(s.action), entryFor(s, english))) {
      return {
          false,
          QStringLiteral("GNOME's settings refused the shortcut at %1 (is it locked down?)").arg(entryPath(s.action))};
    }
  }
  QStringList after = before;
  for (const RecordedShortcut& s : written) {
    if (!after.contains(entryPath(s.action))) after << entryPath(s.action);
  }
  if (after != before && !store_.setPaths(after)) {
    return {false, QStringLiteral("GNOME's settings refused the list of custom shortcuts (is it locked down?)")};
  }
  store_.flush();
  const QStringList kept = store_.paths();
  for (const RecordedShortcut& s : written) {
    if (!kept.contains(entryPath(s.action)) || store_.entry(entryPath(s.action)) != entryFor(s, english)) {
      return {false, QLatin1String(kNotKept)};
    }
  }
  return {};
}

GnomeShortcutsOutcome GnomeCustomShortcuts::remove() {
  const QStringList ours = entryPaths();
  const QStringList before = store_.paths();
  QStringList after;
  for (const QString& path : before) {
    if (!ours.contains(path)) after << path;
  }
  if (after != before && !store_.setPaths(after)) {
    return {false, QStringLiteral("GNOME's settings refused the list of custom shortcuts (is it locked down?)")};
  }
  for (const QString& path : ours) store_.resetEntry(path);
  store_.flush();
  const QStringList kept = store_.paths();
  for (const QString& path : ours) {
    if (kept.contains(path) || store_.entry(path) != platform::CustomShortcutEntry{})
      return {false, QLatin1String(kNotKept)};
  }
  return {};
}

GnomeShortcutsStatus GnomeCustomShortcuts::status(const RecordedShortcuts& shortcuts) const {
  struct Other {
    QString name;
    std::optional<GnomeAccelerator> keys;
    std::optional<OstrelctlCall> call;
    bool runs = false;
  };
  const QStringList paths = store_.paths();
  const QStringList ours = entryPaths();
  std::vector<Other> others;
  for (const QString& path : paths) {
    if (ours.contains(path)) continue;
    const std::optional<platform::CustomShortcutEntry> e = store_.entry(path);
    if (!e) continue;  // a path GNOME itself cannot read either
    Other o{e->name.isEmpty() ? path : e->name, parseGnomeAccelerator(e->binding), callInGnomeCommand(e->command)};
    o.runs = o.call && programExists(o.call->program);
    others.push_back(o);
  }

  GnomeShortcutsStatus out;
  for (const RecordedShortcut& recorded : shortcuts) {
    GnomeShortcutState s;
    s.action = recorded.action;
    const QString path = entryPath(recorded.action);
    s.listed = paths.contains(path);
    const platform::CustomShortcutEntry e = store_.entry(path).value_or(platform::CustomShortcutEntry{});
    s.binding = e.binding;
    s.command = e.command;
    s.keys = readableGnomeAccelerator(e.binding);
    const std::optional<GnomeAccelerator> keys = parseGnomeAccelerator(e.binding);
    const std::optional<GnomeAccelerator> wanted =
        parseGnomeAccelerator(keysIn(KeySyntax::Gnome, recorded.keyCode, recorded.modifierFlags));
    s.asRecorded = keys && wanted && keys->sameKeysAs(*wanted);
    const std::optional<OstrelctlCall> call = callInGnomeCommand(e.command);
    s.runs = call && call->action == recorded.action && programExists(call->program);
    s.runsThisOstrelctl = s.runs && call->program == ostrelctl_;
    for (const Other& o : others) {
      if (o.runs && o.call->action == recorded.action && o.keys) s.alsoBy << o.name;
      if (s.listed && keys && o.keys && o.keys->sameKeysAs(*keys)) s.sameKeyAs << o.name;
    }
    out.shortcuts.push_back(s);
  }
  return out;
}

}  // namespace ostrel
