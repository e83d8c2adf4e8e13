#pragma once
// A shortcut in the XDG shortcuts form the GlobalShortcuts portal takes as a
// preferred trigger: modifiers CTRL, ALT, SHIFT, LOGO joined with '+', then
// the key's xkb name on a US layout ("CTRL+ALT+R", "SHIFT+LOGO+F5",
// "CTRL+Page_Down"). Command is the Super (LOGO) key and Option is Alt, as
// everywhere else in Ostrel.
//
// Empty for a key code without an xkb name here (the modifier keys
// themselves, Fn, Num Lock) and for flags without any of the four modifiers.

#include <QString>
#include <cstdint>

namespace ostrel::platform::portal {

QString xdgTrigger(std::uint16_t virtualKeyCode, std::uint32_t modifierFlags);

}  // namespace ostrel::platform::portal
