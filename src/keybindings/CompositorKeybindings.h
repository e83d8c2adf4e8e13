#pragma once
// The lines that bind Ostrel's three shortcuts in a compositor's own
// configuration, where no GlobalShortcuts portal serves them: one line per
// shortcut, in the order fast refresh, contrast up, contrast down, each
// running the given ostrelctl, ready to paste:
//
//   sway      bindsym Ctrl+d exec /usr/bin/ostrelctl refresh
//   i3        bindsym Control+d exec --no-startup-id /usr/bin/ostrelctl refresh
//   Hyprland  bind = CTRL, D, exec, /usr/bin/ostrelctl refresh
//
// A shortcut on a key without a name there is left out; missingKeyNames()
// says which.

#include "keybindings/KeybindingActions.h"

#include <QString>
#include <optional>
#include <vector>

namespace ostrel {

enum class Compositor { Sway, Hyprland, I3 };

inline constexpr std::array<Compositor, 3> kCompositors = {Compositor::Sway, Compositor::Hyprland, Compositor::I3};

QString compositorName(Compositor compositor);                   // "sway", "hyprland", "i3"
std::optional<Compositor> compositorNamed(const QString& name);  // any case
QString compositorTitle(Compositor compositor);                  // "sway", "Hyprland", "i3"
// Where the lines go: "~/.config/sway/config", ...
QString compositorConfigurationFile(Compositor compositor);

// The compositor this session runs, from XDG_CURRENT_DESKTOP or the
// compositor's own socket variable (SWAYSOCK, HYPRLAND_INSTANCE_SIGNATURE,
// I3SOCK).
std::optional<Compositor> sessionCompositor();

// The lines, each ending in a line end.
QString compositorKeybindings(Compositor compositor, const RecordedShortcuts& shortcuts, const QString& ostrelctl);
std::vector<KeybindingAction> missingKeyNames(Compositor compositor, const RecordedShortcuts& shortcuts);

}  // namespace ostrel
