#include "LoginItemController.h"

#include <algorithm>

namespace ostrel {

QString LoginItemController::startAtLoginKey() { return QStringLiteral("startAtLogin"); }
QString LoginItemController::enabledKey() { return QStringLiteral("enabled"); }

LoginItemController::LoginItemController(LoginJobs jobs) : jobs_(std::move(jobs)) {}

std::unique_ptr<LoginItemController> LoginItemController::initWithIdentifier(const QString& identifier,
                                                                            LoginJobs jobs) {
  auto controller = std::make_unique<LoginItemController>(std::move(jobs));
  controller->setIdentifier(identifier);
  return controller;
}

void LoginItemController::setIdentifier(const QString& identifier) {
  identifier_ = identifier;
  startAtLogin();
}

bool LoginItemController::startAtLogin() {
  if (identifier_.isEmpty()) return false;
  bool result = false;
  for (const LoginJob& job : jobs_.copyAllJobDictionaries()) {
    if (job.label == identifier_) {
      result = job.onDemand;
      break;
    }
  }
  if (result != enabled_) {
    willChangeValueForKey(enabledKey());
    enabled_ = result;
    didChangeValueForKey(enabledKey());
  }
  return result;
}

void LoginItemController::setStartAtLogin(bool startAtLogin) {
  if (identifier_.isEmpty()) return;
  willChangeValueForKey(startAtLoginKey());
  const bool succeeded = jobs_.loginItemSetEnabled(identifier_, startAtLogin);
  willChangeValueForKey(enabledKey());
  enabled_ = succeeded;
  didChangeValueForKey(enabledKey());
  didChangeValueForKey(startAtLoginKey());
}

void LoginItemController::setEnabled(bool enabled) { setStartAtLogin(enabled); }

LoginItemController::ObserverToken LoginItemController::addObserver(ChangeObserver observer) {
  const ObserverToken token = nextToken_++;
  observers_.emplace_back(token, std::move(observer));
  return token;
}

void LoginItemController::removeObserver(ObserverToken token) {
  std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

void LoginItemController::willChangeValueForKey(const QString& key) { announce(key, ChangePhase::Will); }
void LoginItemController::didChangeValueForKey(const QString& key) { announce(key, ChangePhase::Did); }

void LoginItemController::announce(const QString& key, ChangePhase phase) {
  // A copy, so that an observer removing itself does not pull the list away.
  const auto observers = observers_;
  for (const auto& [token, observer] : observers) {
    const bool stillObserving = std::any_of(observers_.cbegin(), observers_.cend(),
                                            [t = token](const auto& entry) { return entry.first == t; });
    if (stillObserving) observer(key, phase);
  }
}

}  // namespace ostrel
