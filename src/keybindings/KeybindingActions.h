#pragma once
// What a key bound in the desktop's own keybindings asks of Ostrel: the three
// shortcuts, each one an `ostrelctl` command, and the keys recorded for them
// in the settings window.
//
//  - recordedShortcuts(): the program-wide shortcut values as the settings
//    window's OK would leave them: a shortcut never confirmed, on key code 0
//    or without a modifier gets its default (Control with D, U, P); only the
//    four shortcut modifiers count.
//  - ostrelctlCommand(): the command line a desktop runs, with the program's
//    path quoted for a POSIX shell where it needs it (GNOME, sway, i3 and
//    Hyprland all split it that way).
//  - ostrelctlCallIn(): which of the three a command line asks for, if it runs
//    some ostrelctl (by any path, or by name through PATH) with exactly that
//    command; options such as -v are allowed.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

namespace ostrel {

enum class KeybindingAction { Refresh, ContrastUp, ContrastDown };

inline constexpr std::array<KeybindingAction, 3> kKeybindingActions = {
    KeybindingAction::Refresh, KeybindingAction::ContrastUp, KeybindingAction::ContrastDown};

// "refresh", "contrast-up", "contrast-down": the ids the desktop services use.
QString keybindingActionId(KeybindingAction action);
// {"refresh"}, {"contrast", "up"}, {"contrast", "down"}
QStringList ostrelctlArguments(KeybindingAction action);
// "Fast Refresh" / "快速刷新", as the settings window names them.
QString keybindingActionName(KeybindingAction action, bool english);

struct RecordedShortcut {
  KeybindingAction action = KeybindingAction::Refresh;
  std::uint16_t keyCode = 0;
  std::uint32_t modifierFlags = 0;

  bool operator==(const RecordedShortcut&) const = default;
};
using RecordedShortcuts = std::array<RecordedShortcut, 3>;

RecordedShortcuts recordedShortcuts();

// The ostrelctl in `directory` (that of the running Ostrel or ostrelctl).
QString ostrelctlIn(const QString& directory);

QString shellQuoted(const QString& word);
// "/usr/bin/ostrelctl contrast up"
QString ostrelctlCommand(const QString& ostrelctl, KeybindingAction action);
// The words of a POSIX shell command line (quotes and backslashes as the
// shell reads them); nothing for an unterminated quote.
std::optional<QStringList> shellWords(const QString& commandLine);

struct OstrelctlCall {
  QString program;  // as written: a path or the bare name
  KeybindingAction action = KeybindingAction::Refresh;
};
std::optional<OstrelctlCall> ostrelctlCallIn(const QString& commandLine);

}  // namespace ostrel
