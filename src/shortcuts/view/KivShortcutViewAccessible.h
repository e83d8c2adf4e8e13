#pragma once
// What assistive technology sees of a recorder: a button named after its
// shortcut ("⌃A keyboard shortcut", "Empty keyboard shortcut"), with the
// recorder's help text as description and help, and a press action that starts
// recording. QAccessible::UserText carries the last announcement ("Shortcut set",
// "Shortcut cleared").

#include <QAccessibleActionInterface>
#include <QAccessibleWidget>

namespace ostrel {

class KivShortcutView;

class KivShortcutViewAccessible : public QAccessibleWidget {
 public:
  explicit KivShortcutViewAccessible(KivShortcutView* view);

  // Makes Qt create this interface for every recorder; once per process.
  static void installFactory();

  QString text(QAccessible::Text t) const override;
  QStringList actionNames() const override;
  void doAction(const QString& actionName) override;
  // The answer of the last press action: false when the control already recorded.
  bool lastPressSucceeded() const { return lastPressSucceeded_; }

 private:
  KivShortcutView* view() const;
  bool lastPressSucceeded_ = false;
};

}  // namespace ostrel
