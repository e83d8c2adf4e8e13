#pragma once
// ostrelctl's way through the running Ostrel (VELDOR.Ostrel on the session bus).
//
// run() returns nothing when no Ostrel owns the name (or there is no session
// bus): the caller then works directly. Otherwise the outcome of the call:
// Ostrel's refusals become exit statuses (out of range -> Usage, no monitor ->
// NoMonitor, no front light -> Failed), and status, read and monitors print
// from Ostrel's properties.
//
// The call never starts Ostrel: a keybinding pressed while Ostrel is closed
// should not open a window.

#include "ostrelctl/CtlRequest.h"

#include <QDBusConnection>
#include <optional>

namespace ostrel::ctl {

class BusClient {
 public:
  static constexpr int kCallTimeoutMs = 10'000;
  // The read-back takes a few seconds; the bus's own limit is 25 s.
  static constexpr int kReadTimeoutMs = 24'000;

  explicit BusClient(QDBusConnection bus);

  std::optional<CtlOutcome> run(const CtlRequest& request);

 private:
  std::optional<CtlOutcome> call(const QString& method, const QVariantList& arguments, int timeoutMs);
  std::optional<CtlOutcome> report(const CtlRequest& request);

  QDBusConnection bus_;
};

}  // namespace ostrel::ctl
