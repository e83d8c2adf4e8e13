#pragma once
// Switches one login item, named by its identifier, on and off, and tells
// whether it is on.
//
// Contract:
//  - Without an identifier (plain construction, or an empty one) startAtLogin()
//    is false and setStartAtLogin() does nothing at all.
//  - setIdentifier() stores the identifier and queries once, so that enabled()
//    reflects the system's state.
//  - startAtLogin() walks the job list in order; the first job labelled with the
//    identifier gives its on-demand flag, no such job gives false. When the
//    answer differs from enabled(), "enabled" is announced around the update.
//  - setStartAtLogin(flag) announces, in this order: will "startAtLogin", will
//    "enabled", (the change, enabled = whether it succeeded), did "enabled", did
//    "startAtLogin". setEnabled() is the same operation.
//  - Announcements are made by hand and only for these two keys; observers run
//    synchronously on the caller's thread. An observer may remove itself.
//  - Not thread-safe: use one controller from one thread.

#include "LoginJobs.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ostrel {

class LoginItemController {
 public:
  enum class ChangePhase { Will, Did };
  using ChangeObserver = std::function<void(const QString& key, ChangePhase phase)>;
  using ObserverToken = std::uint64_t;

  static QString startAtLoginKey();  // "startAtLogin"
  static QString enabledKey();       // "enabled"

  explicit LoginItemController(LoginJobs jobs);
  static std::unique_ptr<LoginItemController> initWithIdentifier(const QString& identifier, LoginJobs jobs);

  LoginItemController(const LoginItemController&) = delete;
  LoginItemController& operator=(const LoginItemController&) = delete;

  const QString& identifier() const { return identifier_; }
  void setIdentifier(const QString& identifier);

  bool startAtLogin();
  void setStartAtLogin(bool startAtLogin);

  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled);

  ObserverToken addObserver(ChangeObserver observer);
  void removeObserver(ObserverToken token);

 private:
  void willChangeValueForKey(const QString& key);
  void didChangeValueForKey(const QString& key);
  void announce(const QString& key, ChangePhase phase);

  LoginJobs jobs_;
  QString identifier_;
  bool enabled_ = false;
  std::vector<std::pair<ObserverToken, ChangeObserver>> observers_;
  ObserverToken nextToken_ = 1;
};

}  // namespace ostrel
