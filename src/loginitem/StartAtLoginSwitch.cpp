#include "StartAtLoginSwitch.h"

#include "InstallLayout.h"
#include "LoginItemController.h"
#include "StartAtLogin.h"

#include <QCoreApplication>
#include <QDir>

namespace ostrel {

StartAtLoginSwitch::StartAtLoginSwitch(QString mainExecutable, LoginJobs jobs)
    : mainExecutable_(std::move(mainExecutable)), jobs_(std::move(jobs)) {}

StartAtLoginSwitch StartAtLoginSwitch::forExecutable(const QString& mainExecutable) {
  return StartAtLoginSwitch(mainExecutable, LoginJobs::forExecutable(mainExecutable));
}

StartAtLoginSwitch StartAtLoginSwitch::forThisProcess() {
  return forExecutable(QCoreApplication::applicationFilePath());
}

bool StartAtLoginSwitch::helperRegistered() const {
  return LoginItemController::initWithIdentifier(InstallLayout::helperIdentifier(), jobs_)->startAtLogin();
}

bool StartAtLoginSwitch::isOn() const {
  return helperRegistered() || StartAtLogin(mainExecutable_, jobs_).isStartAtLogin();
}

StartAtLoginSwitch::Outcome StartAtLoginSwitch::setOn(bool on) {
  StartAtLogin operations(mainExecutable_, jobs_);
  if (on) {
    if (!isOn()) operations.setStartAtLogin2(true);
  } else {
    operations.setStartAtLogin2(false);
    operations.setStartAtLogin(false);
  }
  Outcome outcome;
  outcome.on = isOn();
  if (outcome.on == on) return outcome;
  if (on) {
    outcome.error = QStringLiteral("start at login could not be switched on: %1").arg(whyNotOn());
  } else {
    outcome.error = QStringLiteral("start at login could not be switched off: an entry in %1 could not be removed")
                        .arg(QDir::toNativeSeparators(jobs_.autostartList().directory()));
  }
  return outcome;
}

QString StartAtLoginSwitch::whyNotOn() const {
  if (InstallLayout::helperExecutableFor(mainExecutable_).isEmpty()) {
    return QStringLiteral("the login helper %1 is not installed beside %2")
        .arg(InstallLayout::helperExecutableName(), mainExecutable_);
  }
  return QStringLiteral("%1 could not be written")
      .arg(jobs_.autostartList().filePathFor(InstallLayout::helperIdentifier()));
}

}  // namespace ostrel
