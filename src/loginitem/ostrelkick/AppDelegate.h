#pragma once
// Ostrelkick's application delegate. Ostrelkick is the login helper: the
// session starts it at login through its autostart entry, and it starts Ostrel
// unless Ostrel already runs in this session.
//
// Contract:
//  - runMainApp(identifier, appName) walks the whole list of the session's
//    running applications; if one is Ostrel (its executable or command named
//    appName, or the program the identifier stands for), it only terminates.
//    Otherwise it launches appName found from the helper's own path by the
//    install layout's fixed rule, detached, with --minimized (the helper only
//    runs at login, where Ostrel starts with its window minimised), and
//    terminates.
//  - terminate() ends the event loop with exitCode(): 0, or 1 after runMainApp
//    could not launch Ostrel or was given an appName that is no file name (each
//    with a log line), so a session manager sees the failure.

#include <QString>

namespace ostrel::kick {

class AppDelegate {
 public:
  explicit AppDelegate(QString ownExecutable);

  void applicationDidFinishLaunching();
  void runMainApp(const QString& bundleIdentifier, const QString& appName);
  void terminate();
  void applicationWillTerminate();
  bool applicationSupportsSecureRestorableState() const { return true; }

  int exitCode() const { return exitCode_; }

 private:
  QString ownExecutable_;
  int exitCode_ = 0;
};

}  // namespace ostrel::kick
