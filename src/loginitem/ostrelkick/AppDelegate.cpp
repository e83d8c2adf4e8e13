#include "AppDelegate.h"

#include "common/Log.h"
#include "loginitem/InstallLayout.h"
#include "loginitem/RunningApplications.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

namespace ostrel::kick {

AppDelegate::AppDelegate(QString ownExecutable) : ownExecutable_(std::move(ownExecutable)) {}

void AppDelegate::applicationDidFinishLaunching() {
  log("applicationDidFinishLaunching>>>>>>>>>>>>>>>>>>>>>>");
}

void AppDelegate::runMainApp(const QString& bundleIdentifier, const QString& appName) {
  if (appName.isEmpty() || appName.contains(u'/') || appName == u"." || appName == u"..") {
    log("runMainApp: \"%@\" is not the name of an executable; nothing launched", appName);
    exitCode_ = 1;
    terminate();
    return;
  }
  const QString program = InstallLayout::programForIdentifier(bundleIdentifier);
  for (const RunningApplication& app : RunningApplications().list()) {
    if (app.matches(appName) || app.matches(program)) {
      // Said, so that a login that shows no Ostrel can be traced to the one
      // that was counted.
      log("runMainApp: %@ already runs in this session (PID %lld); nothing launched", appName,
          static_cast<long long>(app.pid));
      terminate();
      return;
    }
  }
  const QString mainExecutable = InstallLayout::mainExecutableFor(ownExecutable_, appName);
  // Started at login the helper's directory is arbitrary; the home directory
  // is where a session starts programs. Ostrel has to run for the monitor's
  // keys and the shortcuts, but its window at every login is in the way.
  if (!QProcess::startDetached(mainExecutable, {QStringLiteral("--minimized")}, QDir::homePath())) {
    log("runMainApp: could not launch %@", mainExecutable);
    exitCode_ = 1;
  }
  terminate();
}

void AppDelegate::terminate() { QCoreApplication::exit(exitCode_); }

void AppDelegate::applicationWillTerminate() {}

}  // namespace ostrel::kick
