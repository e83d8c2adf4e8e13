#pragma once
// The start-at-login operations of Ostrel's application delegate, by two
// mechanisms:
//  1. Ostrel's own executable in the user's autostart list
//     (isStartAtLogin, setStartAtLogin);
//  2. the login helper Ostrelkick registered as a login item by identifier
//     (setStartAtLogin2, and the class-side isStartAtLogin).
//
// Contract:
//  - isStartAtLogin(): an enabled autostart entry resolves to Ostrel's
//    executable. A Hidden or switched-off entry does not start anything at login,
//    so it does not count.
//  - setStartAtLogin(true): false and no change when isStartAtLogin() already
//    holds; otherwise writes VELDOR.Ostrel.desktop (re-enabling our own switched-
//    off entry of that name; taking the next free name VELDOR.Ostrel-N when a
//    foreign file holds it) and answers whether it was written.
//  - setStartAtLogin(false): removes every entry that resolves to Ostrel's
//    executable, enabled or not; answers the result of the last removal, false
//    when there was nothing to remove.
//  - isStartAtLogin(jobs), class side: the state of the VELDOR.testHelper login
//    item. It is NOT the state that setStartAtLogin2() switches: that is
//    VELDOR.Ostrelkick. Ask LoginItemController for VELDOR.Ostrelkick to learn
//    whether the helper is registered.
//  - setStartAtLogin2(flag): switches VELDOR.Ostrelkick through a fresh
//    LoginItemController and answers its enabled(): whether the switch
//    succeeded, so a successful switch-off also answers true.

#include "LoginJobs.h"

#include <QString>

namespace ostrel {

class StartAtLogin {
 public:
  StartAtLogin(QString executablePath, LoginJobs jobs);
  // Ostrel's running executable and the user's autostart list. Needs the
  // application object.
  static StartAtLogin forThisProcess();

  const QString& executablePath() const { return executablePath_; }

  bool isStartAtLogin() const;
  bool setStartAtLogin(bool startAtLogin);

  static bool isStartAtLogin(const LoginJobs& jobs);
  bool setStartAtLogin2(bool startAtLogin);

 private:
  QString freeFileId() const;

  QString executablePath_;
  LoginJobs jobs_;
};

}  // namespace ostrel
