#include "ostrelctl/StartingOstrel.h"

#include "control/ControlProtocol.h"
#include "loginitem/InstallLayout.h"
#include "loginitem/RunningApplications.h"
#include "ostrelctl/RefreshSettingsCommand.h"
#include "ostrelctl/StartAtLoginCommand.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>

namespace ostrel::ctl {
namespace {

// How long the process has run: its start in /proc/PID/stat (clock ticks since
// boot, field 22, counted after the command's closing parenthesis) against the
// system's uptime. None when either cannot be read.
std::optional<double> secondsRunning(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  QFile uptime(QStringLiteral("/proc/uptime"));
  if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray statText = stat.readAll();
  const qsizetype close = statText.lastIndexOf(')');
  if (close < 0) return std::nullopt;
  const QList<QByteArray> fields = statText.mid(close + 2).split(' ');
  bool startOk = false;
  bool upOk = false;
  const double startTicks = fields.size() > 19 ? fields.at(19).toDouble(&startOk) : 0;
  const double up = uptime.readAll().split(' ').value(0).toDouble(&upOk);
  const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
  if (!startOk || !upOk || ticksPerSecond <= 0) return std::nullopt;
  return up - startTicks / static_cast<double>(ticksPerSecond);
}

bool isOstrel(const RunningApplication& app) {
  return app.pid != QCoreApplication::applicationPid() && app.matches(InstallLayout::mainExecutableName());
}

}  // namespace

StartingOstrel::StartingOstrel(QDBusConnection bus) : bus_(std::move(bus)) {}

std::optional<qint64> StartingOstrel::starting() const {
  for (const RunningApplication& app : RunningApplications().list()) {
    if (!isOstrel(app)) continue;
    // One that has run for long without the name has none to take (no
    // session bus of its own, the name refused): waiting would only delay
    // what direct work says about its port.
    const std::optional<double> age = secondsRunning(app.pid);
    if (!age || *age <= kStartsWithinS) return app.pid;
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
  const std::optional<qint64> pid = starting.starting();
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
