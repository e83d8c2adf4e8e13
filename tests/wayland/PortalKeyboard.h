#pragma once
// The user's keyboard on a headless desktop: key presses through a
// RemoteDesktop portal session of the test's own, so they take the
// compositor's own input path (a bound shortcut fires, a plain key reaches
// the focused window), as a person's typing would.

#include <QString>
#include <initializer_list>

namespace ostrel::test {

class PortalKeyboard {
 public:
  // Asks the portal for a keyboard session and waits for it; false with `error`.
  // With `restoreToken` (RemoteDesktop version 2) the session restores the
  // permission that token stands for, so the desktop asks nobody.
  bool start(QString* error, const QString& restoreToken = {});
  // Presses the evdev keys in order and releases them in reverse.
  void press(std::initializer_list<int> evdevCodes);
  // One key down or up; returns once the portal has passed it on.
  void key(int evdevCode, bool down);

 private:
  QString session_;
};

}  // namespace ostrel::test
