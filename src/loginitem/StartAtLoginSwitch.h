#pragma once
// The one "Start at Login" switch a user sees, in Ostrel's menus, in
// `ostrelctl autostart` and on the session bus. Ostrel starts at login when
// either way in is there: its login helper Ostrelkick registered
// (VELDOR.Ostrelkick.desktop), or an entry that starts Ostrel's own executable.
//
// Contract:
//  - isOn() reads the autostart list afresh at every call, so an entry made,
//    switched off or removed by hand or by the desktop's settings shows at once.
//    Switched-off entries (Hidden, X-GNOME-Autostart-enabled=false) are off.
//  - setOn(true): already on, nothing is written (a second entry would start
//    Ostrel twice at login). Otherwise registers Ostrelkick
//    (StartAtLogin::setStartAtLogin2).
//  - setOn(false): unregisters Ostrelkick and removes every entry that starts
//    Ostrel's own executable, so that nothing starts Ostrel at login any more.
//  - The outcome carries the state read back afterwards. When that is not the
//    state asked for, `error` says why in words for a person ("start at login
//    could not be switched on: ..."); otherwise it is empty.
//  - Main thread or any single thread; nothing is kept between calls.

#include "LoginJobs.h"

#include <QString>

namespace ostrel {

class StartAtLoginSwitch {
 public:
  struct Outcome {
    bool on = false;
    QString error;
    bool succeeded() const { return error.isEmpty(); }
  };

  // `mainExecutable` is Ostrel's program; Ostrelkick is looked for beside it.
  StartAtLoginSwitch(QString mainExecutable, LoginJobs jobs);
  // The user's autostart list, for the Ostrel installed as `mainExecutable`.
  static StartAtLoginSwitch forExecutable(const QString& mainExecutable);
  // For the running Ostrel. Needs the application object.
  static StartAtLoginSwitch forThisProcess();

  const QString& mainExecutable() const { return mainExecutable_; }

  bool isOn() const;
  Outcome setOn(bool on);

 private:
  bool helperRegistered() const;
  QString whyNotOn() const;

  QString mainExecutable_;
  LoginJobs jobs_;
};

}  // namespace ostrel
