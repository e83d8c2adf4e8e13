#pragma once
// Ostrel's menus as the shortcut validator sees them: a live view of a QMenuBar
// or QMenu (read afresh at every search, so menus changed later count).
//
// Each action with a key sequence becomes an item whose key equivalent is the
// first key of each of its shortcuts, written the way menus write it: the lower
// case character for a printable key (Shift goes into the modifier mask), " " for
// the space bar, U+F704.. for F1..F19, the shortcut layer's glyph for the keys it
// names by glyph (↩, ⌫, ⎋, arrows...). A key without such a form, and an action
// without a key sequence, gives an item without key equivalent. Titles lose
// their mnemonic ampersands. Separators are skipped.

#include "shortcuts/KivMenu.h"

#include <QKeyCombination>
#include <QPointer>
#include <QWidget>

class QMenuBar;

namespace ostrel {

class KivMenuBarAdapter : public KivMenu {
 public:
  // `menu` is a QMenuBar or a QMenu; an adapter of a destroyed one has no items.
  explicit KivMenuBarAdapter(QWidget* menu);

  std::vector<KivMenuItem> items() const override;

  // The key-equivalent form and modifier mask of one key combination.
  static QString keyEquivalentForKey(Qt::Key key);
  static quint64 modifierMaskForModifiers(Qt::KeyboardModifiers modifiers);
  static QString titleWithoutMnemonic(const QString& text);

  // Makes `menuBar` the application's main menu for the validator (for as long as
  // it exists).
  static void registerAsMainMenu(QMenuBar* menuBar);

 private:
  QPointer<QWidget> menu_;
};

}  // namespace ostrel
