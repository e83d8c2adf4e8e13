#pragma once
// An Ostrel of this session that runs but does not own VELDOR.Ostrel yet is
// starting: it takes the name a moment after its start, before it looks for
// monitors. ostrelctl waits for it rather than open the monitor's port under
// it, where that Ostrel's search would find the port in use by ostrelctl.
//
// Contract:
//  - starting(): the PID of an Ostrel of this session (same user, same
//    XDG_RUNTIME_DIR, as RunningApplications counts them) that started no more
//    than kStartsWithinS ago (or whose start cannot be read), none otherwise.
//    Its name comes within a few seconds of its start when it comes at all.
//  - nameOwned(): whether VELDOR.Ostrel has an owner on the bus now.
//  - waitForName(pid, ms): runs a local event loop until the name has an owner
//    (Answered), that Ostrel no longer runs (Exited), or `ms` have passed
//    (Silent). The name is watched on the bus; whether the process still runs
//    is looked at every kProcessCheckMs.
//  - awaitStartingOstrel(): what ostrelctl does when nobody answered on the bus,
//    before it would go direct. With a session bus whose name nobody owns
//    while an Ostrel of this session is starting, it waits up to kWaitMs (`said`
//    hears of the wait first). Nothing when there is no such Ostrel, when it
//    answered (`answered` is set: ask the bus again) or when it exited (direct
//    then); a refusal (exit 1, nothing sent) when it stayed silent. Without a
//    session bus there is nothing to wait for: an Ostrel without one never
//    answers there. The running Ostrel that owns its name costs nothing here:
//    the bus served the request before.

#include "ostrelctl/CtlRequest.h"

#include <QDBusConnection>
#include <functional>
#include <optional>

namespace ostrel::ctl {

class StartingOstrel {
 public:
  static constexpr int kWaitMs = 5000;
  static constexpr int kProcessCheckMs = 100;
  static constexpr int kStartsWithinS = 30;
  enum class Wait { Answered, Exited, Silent };

  explicit StartingOstrel(QDBusConnection bus);

  std::optional<qint64> starting() const;
  bool nameOwned() const;
  Wait waitForName(qint64 pid, int timeoutMs = kWaitMs);

 private:
  bool stillRunning(qint64 pid) const;

  QDBusConnection bus_;
};

std::optional<CtlOutcome> awaitStartingOstrel(const QDBusConnection& bus, const CtlRequest& request,
                                              const std::function<void(const QString&)>& said, bool* answered,
                                              int timeoutMs = StartingOstrel::kWaitMs);

}  // namespace ostrel::ctl
