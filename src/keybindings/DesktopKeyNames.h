#pragma once
// A shortcut (Ostrel's virtual key code and modifier flags) in the key syntax
// of each desktop's own keybindings, and GNOME's accelerators read back.
//
// Keys are named by their xkb names on a US layout (platform/XkbKeyNames.h),
// as the desktop matches key names, not positions; letters are lower case
// where the syntax resolves names case-sensitively (GNOME, sway, i3). Command
// is the Super key and Option is Alt, as everywhere in Ostrel.
//
//   Gnome     <Control><Alt>r        (GSettings accelerators)
//   Sway      Ctrl+Alt+r             (bindsym)
//   I3        Control+Mod1+r         (bindsym)
//   Hyprland  CTRL ALT, R            (bind = MODS, KEY)
//   Xdg       CTRL+ALT+R             (the GlobalShortcuts portal's form)
//   Readable  Ctrl+Alt+R             (what Ostrel shows a person)
//
// Empty for a key code without an xkb name, or flags without any of the four
// modifiers.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace ostrel {

enum class KeySyntax { Gnome, Sway, I3, Hyprland, Xdg, Readable };

QString keysIn(KeySyntax syntax, std::uint16_t keyCode, std::uint32_t modifierFlags);

// A GNOME accelerator ("<Primary><Shift>F5", "<Super>r", "<Ctl>Page_Down"),
// as GTK reads it: modifiers in any case and any of their spellings.
struct GnomeAccelerator {
  std::uint32_t modifierFlags = 0;       // Ostrel's bits of the four modifiers
  QStringList otherModifiers;            // Hyper, Meta, ... in lower case, sorted
  QString key;                           // the key's name as written
  std::optional<std::uint16_t> keyCode;  // when the key is one Ostrel names

  // The same combination, whatever the spelling.
  bool sameKeysAs(const GnomeAccelerator& other) const;
};

// Nothing for an empty binding, GNOME's "disabled", or text that is no
// accelerator.
std::optional<GnomeAccelerator> parseGnomeAccelerator(const QString& binding);

// "Ctrl+Alt+R" for "<Control><Alt>r"; the text itself for one that cannot be
// read; empty for no key.
QString readableGnomeAccelerator(const QString& binding);

}  // namespace ostrel
