#pragma once
// What Auto Clear and the page-turn refresh do at the moment, for `ostrelctl
// status` and the bus: the timer's period, the two settings beyond it, whether
// the timer rests now and why, and what tells Ostrel that nobody is there (the
// idle and lock sources, or why there is none).
//
// The main window writes it; the session-bus service reads it. Main thread
// only. Every change posts AutoClearStatusDidChangeNotification (no user
// information).

#include <QString>
#include <QVariantMap>
#include <cstdint>

namespace ostrel {

extern const QString AutoClearStatusDidChangeNotification;

struct AutoClearSource {
  QString backend;  // "x11", "mutter", "screensaver", "logind", ...; empty: none
  QString detail;   // the source's own sentence, or why there is none

  bool operator==(const AutoClearSource&) const = default;
};

struct AutoClearState {
  std::int32_t periodSeconds = 0;  // 0: the timer is off
  bool pauseWhileIdle = true;
  std::int32_t pageRefresh = 0;  // 0: no refresh after page turns
  bool resting = false;
  // While resting: why ("the session is locked"). Otherwise, when the timer
  // could rest but cannot tell whether anybody is there: why not. Else empty.
  QString reason;
  AutoClearSource idle;
  AutoClearSource lock;

  bool operator==(const AutoClearState&) const = default;
};

class AutoClearStatus {
 public:
  static AutoClearStatus& shared();

  const AutoClearState& state() const { return state_; }
  void setPeriod(std::int32_t seconds);
  void setSettings(bool pauseWhileIdle, std::int32_t pageRefresh);
  void setResting(bool resting, const QString& reason);
  void setSources(const AutoClearSource& idle, const AutoClearSource& lock);

  // The bus form (an a{sv}): Period (i), PauseWhileIdle (b), PageRefresh (i),
  // Resting (b), Reason (s), IdleBackend, IdleDetail, LockBackend,
  // LockDetail (s).
  QVariantMap properties() const;

  // Back to the state of a fresh process (tests).
  void reset();

 private:
  void update(const AutoClearState& next);

  AutoClearState state_;
};

}  // namespace ostrel
