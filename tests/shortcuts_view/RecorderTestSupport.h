#pragma once
// Helpers for the recorder tests: the X11 services the recorder relies on, a
// window with two recorders and a text field, a beep counter, a watcher that
// answers the next alert, xdotool and screenshots.

#include "shortcuts/view/KivShortcutView.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QStringList>
#include <QWidget>
#include <memory>

namespace ostrel::test {

// Installed once per test program: names keys after the X server's keymap, asks
// the X server which combinations other clients hold, English string table.
void installRecorderEnvironment();

// Counts the recorder's refusal beeps while alive.
class BeepCounter {
 public:
  BeepCounter();
  ~BeepCounter();
  BeepCounter(const BeepCounter&) = delete;
  BeepCounter& operator=(const BeepCounter&) = delete;
  int count() const { return *count_; }

 private:
  std::shared_ptr<int> count_;
};

struct SeenKey {
  int key;
  Qt::KeyboardModifiers modifiers;
};

// A top-level window: two recorders above a text field that has the keyboard
// focus. Key presses that reach the text field are recorded.
class RecorderWindow : public QWidget {
 public:
  RecorderWindow();
  ~RecorderWindow() override;

  // Shows the window and waits until it is the active window.
  bool showActive();

  KivShortcutView* first = nullptr;
  KivShortcutView* second = nullptr;
  QLineEdit* field = nullptr;
  QList<SeenKey> keysReachingField;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// What an alert showed.
struct AlertSeen {
  bool shown = false;
  QString text;
  QString informativeText;
  QStringList buttons;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the next modal QMessageBox by clicking its first button, noting what
// it showed. Arm it before the action that shows the alert.
class AlertAnswerer {
 public:
  AlertAnswerer();
  ~AlertAnswerer();
  AlertAnswerer(const AlertAnswerer&) = delete;
  AlertAnswerer& operator=(const AlertAnswerer&) = delete;
  const AlertSeen& seen() const { return *seen_; }

 private:
  std::shared_ptr<AlertSeen> seen_;
  std::unique_ptr<QObject> timerOwner_;
};

// Types into the widget with keyboard focus (or the active window) as Qt events.
// pressKey/releaseKey send one event; `modifiers` is the state before it.
void typeKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void releaseKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Real X key events: runs xdotool with the arguments, then lets Qt read them.
bool xdotool(const QStringList& arguments);

// Left click at `point` of `widget`; moves the mouse there first so hover state
// follows, like a person's click.
void clickAt(QWidget* widget, const QPoint& point);
// Moves the real pointer (xdotool) to `point` of `widget` and lets Qt see it.
bool movePointerTo(QWidget* widget, const QPoint& point);
QPoint centerOfShortcutArea(const KivShortcutView& view);
QPoint centerOfHintArea(const KivShortcutView& view);

// Saves widget->grab() as $OSTREL_BUILD_DIR/screenshots/<name>.png.
void saveScreenshot(QWidget* widget, const QString& name);

}  // namespace ostrel::test
