#pragma once
// The desktop's own keybindings from the command line; they need neither a
// monitor nor a running Ostrel (one that runs sees GNOME's change at once):
//
//  - `gnome-shortcuts add`: writes the three recorded shortcuts (Ostrel's
//    settings file) into GNOME's custom keyboard shortcuts, running this
//    ostrelctl, and prints what GNOME now runs. `remove` takes them out and
//    prints nothing. `status` prints, per shortcut, the key GNOME runs it on
//    and what to know about it; exit 1 unless GNOME runs all three.
//  - `keybindings COMPOSITOR`: the lines for that compositor's configuration
//    (keybindings/CompositorKeybindings.h). A shortcut on a key without a
//    name there is left out, said on standard error, exit 1.
//
// Where GNOME's settings cannot be reached (no GNOME schema, no settings
// store), the outcome says why, exit 1.

#include "keybindings/GnomeCustomShortcuts.h"
#include "ostrelctl/CtlRequest.h"

namespace ostrel::ctl {

bool isKeybindingsCommand(CtlCommand command);

// `ostrelctl`: the path the keybindings run (this program's own).
CtlOutcome runKeybindingsCommand(const CtlRequest& request, const QString& ostrelctl);

// What `gnome-shortcuts status` and `add` print.
QString gnomeShortcutsText(const GnomeShortcutsStatus& status, const QString& ostrelctl);

}  // namespace ostrel::ctl
