#pragma once
// An Ostrel stopped in its start, before it takes its bus name, until
// release(): it is held where it reads its logging rules (QT_LOGGING_CONF
// naming a FIFO nobody writes yet). What ostrelctl meets when a user runs it
// while Ostrel is starting.

#include "support/ChildProcess.h"
#include "support/OstrelProcess.h"

#include <QString>
#include <QStringList>

namespace ostrel::test {

class HeldOstrel {
 public:
  // `name` keeps the FIFOs of several held Ostrels apart.
  explicit HeldOstrel(const QString& name);
  ~HeldOstrel();
  HeldOstrel(const HeldOstrel&) = delete;
  HeldOstrel& operator=(const HeldOstrel&) = delete;

  // True once Ostrel runs and waits for its rules.
  bool start(QString* error);
  // Lets it go on with Qt's default rules.
  void release();
  OstrelProcess& ostrel() { return ostrel_; }

 private:
  QString fifo_;
  int writer_ = -1;
  OstrelProcess ostrel_;
};

// Starts `ostrelctl -v ARGUMENTS` and returns once it says it waits for the
// starting Ostrel of process `ostrelPid`.
bool startOstrelctlWaitingFor(ChildProcess& ctl, const QStringList& arguments, qint64 ostrelPid, QString* error);

}  // namespace ostrel::test
