#pragma once
// Login items registered by identifier, and the user's list of login jobs.
// Each login item is the autostart entry named after its identifier
// (VELDOR.Ostrelkick -> VELDOR.Ostrelkick.desktop) whose Exec is the helper's
// executable; the job list is every autostart entry.
//
// Contract:
//  - copyAllJobDictionaries(): one job per autostart entry, in file-id order;
//    label = file id, onDemand = the entry is enabled (readable, not Hidden, not
//    X-GNOME-Autostart-enabled=false).
//  - loginItemSetEnabled(id, true): writes the entry for the helper the locator
//    names for id. Fails (false, nothing written) when the locator knows no
//    helper for id, as registering a helper that is not installed cannot work.
//  - loginItemSetEnabled(id, false): removes the entry; true when none is left.
//  - An identifier that is not a plain file name is refused.

#include "AutostartList.h"

#include <QString>
#include <functional>
#include <vector>

namespace ostrel {

struct LoginJob {
  QString label;
  bool onDemand = false;
};

class LoginJobs {
 public:
  // identifier -> the helper's executable path; empty when there is none.
  using HelperLocator = std::function<QString(const QString& identifier)>;

  LoginJobs(AutostartList list, HelperLocator locator);
  // The user's autostart list, knowing Ostrelkick as installed beside `mainExecutable`.
  static LoginJobs forExecutable(const QString& mainExecutable);

  const AutostartList& autostartList() const { return list_; }

  std::vector<LoginJob> copyAllJobDictionaries() const;
  bool loginItemSetEnabled(const QString& identifier, bool enabled) const;

 private:
  AutostartList list_;
  HelperLocator locator_;
};

}  // namespace ostrel
