#pragma once
// What the user must do, if anything, for each desktop service to work, read
// from what DesktopServices reports (its bus form, DesktopServices::properties(),
// as `ostrelctl status` gets it from the running Ostrel). The settings window
// and `ostrelctl status` each say it in their own words.
//
// Shortcuts:
//  - None: they work as recorded (X11, or the desktop bound them as asked).
//  - AnswerDesktop: the desktop is asking; answer its dialog.
//  - AskAgain: the desktop declined or failed; change a shortcut or restart.
//  - ChangeInDesktop: the desktop assigned other keys, or none, to some.
//  - RestoreGnomeKeys: GNOME runs them, some on keys other than recorded.
//  - AddToGnome: GNOME without a portal, and its custom shortcuts lack them.
//  - PasteKeybindings: a compositor without the portal (ownKeybindings names it).
//  - BindOstrelctl: any other desktop where nothing serves them.
// Monitor input:
//  - None: it works, or nothing Ostrel could use serves it here.
//  - AllowWhenAsked: the desktop asks for permission when a monitor connects.

#include <QString>
#include <QVariantMap>

namespace ostrel {

enum class ShortcutsStep {
  None,
  AnswerDesktop,
  AskAgain,
  ChangeInDesktop,
  RestoreGnomeKeys,
  AddToGnome,
  PasteKeybindings,
  BindOstrelctl
};
enum class InputStep { None, AllowWhenAsked };

ShortcutsStep shortcutsStep(const QVariantMap& desktopServices);
InputStep inputStep(const QVariantMap& desktopServices);

}  // namespace ostrel
