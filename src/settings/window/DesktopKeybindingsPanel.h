#pragma once
// The settings window's part about the desktop: which path serves Ostrel's
// shortcuts and the monitor's keys and pointer here, and what the user must
// do, if anything (DesktopKeybindingsTexts.h). Below that, where the
// desktop's own keybindings stand in for a missing portal:
//
//  - GNOME without a GlobalShortcuts portal (a GnomeShortcutsKeeper runs):
//    the key GNOME runs each shortcut on, a button that adds the recorded
//    shortcuts to GNOME's custom shortcuts and one that removes them, and why
//    it failed if it did. They act at once, not at OK: they change GNOME's
//    settings, not Ostrel's; OK later brings GNOME's keys up to date.
//  - a compositor without the portal (sway, Hyprland, i3): the lines for its
//    configuration from the recorded shortcuts, as `ostrelctl keybindings`
//    prints them, and a button that copies them to the clipboard.
//
// Follows DesktopServices (and so GNOME's settings) while the window is open.
// Its width is set from outside; its height is that of the longer of the two
// languages, so that switching the language never resizes the window.
// Main thread.

#include "common/NotificationCenter.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ostrel {

class DesktopKeybindingsPanel : public QWidget {
  Q_OBJECT

 public:
  explicit DesktopKeybindingsPanel(QWidget* parent = nullptr);

  // English for any value but 0, like the rest of the window.
  void setLanguage(int language);
  void setSteadyWidth(int width);

  QLabel* serviceLines() const { return serviceLines_; }
  QWidget* gnomeSection() const { return gnomeSection_; }
  QLabel* gnomeLines() const { return gnomeLines_; }
  QPushButton* gnomeAddButton() const { return gnomeAdd_; }
  QPushButton* gnomeRemoveButton() const { return gnomeRemove_; }
  QLabel* gnomeOutcome() const { return gnomeOutcome_; }
  QWidget* keybindingsSection() const { return keybindingsSection_; }
  QPlainTextEdit* keybindingsText() const { return keybindingsText_; }
  QPushButton* copyButton() const { return copy_; }
  QLabel* copiedNote() const { return copied_; }

 private:
  struct Texts;
  Texts texts(bool english) const;
  void refresh();
  void holdHeight(QLabel* label, const QString& english, const QString& chinese);
  void addToGnome();
  void removeFromGnome();
  void copyKeybindings();

  bool english_ = false;
  int width_ = 0;
  QString gnomeError_;  // of the last add or remove; empty after one that worked
  bool wasCopied_ = false;
  QLabel* serviceLines_;
  QWidget* gnomeSection_;
  QLabel* gnomeLines_;
  QPushButton* gnomeAdd_;
  QPushButton* gnomeRemove_;
  QLabel* gnomeOutcome_;
  QWidget* keybindingsSection_;
  QPlainTextEdit* keybindingsText_;
  QPushButton* copy_;
  QLabel* copied_;
  ScopedObserver observer_;
};

}  // namespace ostrel
