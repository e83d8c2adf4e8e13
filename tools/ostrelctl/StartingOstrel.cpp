#include "ostrelctl/StartingOstrel.h"

#include "control/ControlProtocol.h"
#include "loginitem/InstallLayout.h"
#include "loginitem/RunningApplications.h"
#include "ostrelctl/RefreshSettingsCommand.h"
#include "ostrelctl/StartAtLoginCommand.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace ostrel::ctl {
namespace {

bool isOstrel(const RunningApplication& app) {
  return app.pid != QCoreApplication::applicationPid() && app.matches(InstallLayout::mainExecutableName());
}

}  // namespace

StartingOstrel::StartingOstrel(QDBusConnection bus) : bus_(std::move(bus)) {}

std::optional<qint64> StartingOstrel::running() const {
  for (const RunningApplication& app : RunningApplications().list()) {
    if (isOstrel(app)) return app.pid;
  }
  return std::nullopt;
}

bool StartingOstrel::nameOwned() const {
  QDBusConnectionInterface* names = bus_.isConnected() ? bus_.interface() : nullptr;
  if (!names) return false;
  const QDBusReply<bool> owned = names->isServiceRegistered(OstrelBusServiceName);
  return owned.isValid() && owned.value();
}

bool StartingOstrel::stillRunning(qint64 pid) const {
  const std::vector<RunningApplication> apps = RunningApplications().list();
  return std::any_of(apps.cbegin(), apps.cend(),
                     [pid](const RunningApplication& app) { return app.pid == pid && isOstrel(app); });
}

StartingOstrel::Wait StartingOstrel::waitForName(qint64 pid, int timeoutMs) {
  QEventLoop loop;
  Wait result = Wait::Silent;
  QDBusServiceWatcher watcher(OstrelBusServiceName, bus_, QDBusServiceWatcher::WatchForRegistration);
  QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, [&] {
    result = Wait::Answered;
    loop.quit();
  });
  // Asked after the watch is in place: a name taken in between is not missed.
  if (nameOwned()) return Wait::Answered;
  QTimer processCheck;
  QObject::connect(&processCheck, &QTimer::timeout, &loop, [&] {
    if (stillRunning(pid)) return;
    // It may have handed over to another Ostrel that took the name meanwhile.
    result = nameOwned() ? Wait::Answered : Wait::Exited;
    loop.quit();
  });
  processCheck.start(kProcessCheckMs);
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
    // The last word of a name taken just now may still be on its way.
    if (nameOwned()) result = Wait::Answered;
    loop.quit();
  });
  deadline.start(timeoutMs);
  loop.exec();
  return result;
}

std::optional<CtlOutcome> awaitStartingOstrel(const QDBusConnection& bus, const CtlRequest& request,
                                              const std::function<void(const QString&)>& said, bool* answered,
                                              int timeoutMs) {
  if (answered) *answered = false;
  if (!bus.isConnected()) return std::nullopt;
  StartingOstrel starting(bus);
  if (starting.nameOwned()) {
    // Taken since the bus was asked.
    if (answered) *answered = true;
    return std::nullopt;
  }
  const std::optional<qint64> pid = starting.running();
  if (!pid) return std::nullopt;
  const double seconds = timeoutMs / 1000.0;
  if (said) {
    said(QStringLiteral("ostrelctl: Ostrel (PID %1) is starting; waiting up to %2 s for it on the session bus\n")
             .arg(*pid)
             .arg(seconds));
  }
  const StartingOstrel::Wait wait = starting.waitForName(*pid, timeoutMs);
  if (wait == StartingOstrel::Wait::Answered) {
    if (answered) *answered = true;
    return std::nullopt;
  }
  if (wait == StartingOstrel::Wait::Exited) return std::nullopt;
  // Ostrel's own settings would otherwise go to a file it may have read already.
  const bool monitorCommand = !isStartAtLoginCommand(request.command) && !isRefreshSettingsCommand(request.command);
  return CtlOutcome{ExitCode::Failed, QString(),
                    QStringLiteral("ostrelctl: Ostrel (PID %1) is starting but did not answer on the session bus "
                                   "within %2 s; nothing was %3\n")
                        .arg(*pid)
                        .arg(seconds)
                        .arg(monitorCommand ? QStringLiteral("sent") : QStringLiteral("changed"))};
}

}  // namespace ostrel::ctl
