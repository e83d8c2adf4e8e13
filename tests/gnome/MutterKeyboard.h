#pragma once
// The user's keyboard on a headless GNOME Shell: key presses through Mutter's
// own remote-desktop interface (org.gnome.Mutter.RemoteDesktop), which take
// the compositor's input path as a person's typing would, so a key GNOME has
// grabbed for a shortcut fires it. Test tooling only: Ostrel never calls it.

#include <QString>
#include <initializer_list>

namespace ostrel::test {

class MutterKeyboard {
 public:
  ~MutterKeyboard();
  // Opens and starts a session; false with `error`.
  bool start(QString* error);
  // Presses the evdev keys in order and releases them in reverse; returns
  // once Mutter has taken every event.
  void press(std::initializer_list<int> evdevCodes);
  void key(int evdevCode, bool down);

 private:
  QString session_;
};

}  // namespace ostrel::test
