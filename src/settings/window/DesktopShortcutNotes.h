#pragma once
// Under the settings window's three recorders, where the desktop rather than
// Ostrel decides which key a shortcut gets (the GlobalShortcuts portal): the
// key the desktop assigned to each shortcut, and, where that is not the
// recorded one (or there is none), one line saying the desktop's keyboard
// settings are where to change it. While the desktop has not answered, or
// after it declined, one line says so; while it shows a dialog about the
// shortcuts or about the monitor's keys and pointer, a line says Ostrel waits
// for its confirmation.
//
// Hidden where Ostrel itself watches the keys (X11) or nothing serves the
// shortcuts. Follows DesktopServices while the window is open. Main thread.

#include <QLabel>

#include "common/NotificationCenter.h"

namespace ostrel {

class DesktopServices;

class DesktopShortcutNotes : public QLabel {
  Q_OBJECT

 public:
  explicit DesktopShortcutNotes(QWidget* parent = nullptr);

  // English for any value but 0, like the rest of the window.
  void setLanguage(int language);

  // The note for `services` in the given language; empty when there is none.
  static QString noteText(const DesktopServices& services, bool english);

 private:
  void refresh();
  static QString shortcutLines(const DesktopServices& services, bool english);

  bool english_ = false;
  ScopedObserver observer_;
};

}  // namespace ostrel
