#pragma once
// KivLocalizedString(key, comment): the text for `key` from the shortcut layer's
// string table (KivStringTable::processTable()); "XXX" when the table lacks it.
// The comment is a note for translators and changes nothing.

#include <QString>

namespace ostrel {

QString KivLocalizedString(const QString& key, const QString& comment);

// The keys the shortcut layer looks up.
namespace kivstrings {
inline const QString space = QStringLiteral("Space");
inline const QString shortcutSet = QStringLiteral("Shortcut set");
inline const QString shortcutCleared = QStringLiteral("Shortcut cleared");
inline const QString recorderHelp = QStringLiteral(
    "To record a new shortcut, click this button, and then type the new shortcut, or press delete to clear an "
    "existing shortcut.");
inline const QString keyboardShortcut = QStringLiteral("keyboard shortcut");
inline const QString takenBySystem = QStringLiteral(
    "This combination cannot be used because it is already used by a system-wide keyboard shortcut.\nIf you really "
    "want to use this key combination, most shortcuts can be changed in the Keyboard & Mouse panel in System "
    "Preferences.");
}  // namespace kivstrings

}  // namespace ostrel
