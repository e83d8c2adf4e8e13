#pragma once
// The applications running in the user's session, read from /proc.
//
// Contract:
//  - list() walks every numeric entry of the proc directory and keeps the
//    processes that belong to this session: owned by the same user, neither a
//    zombie nor exiting, and started with the same XDG_RUNTIME_DIR (both unset
//    counts as the same). A process whose environment cannot be read is kept:
//    when in doubt it counts as running, so a second copy is never started
//    beside it.
//  - A process vanishing during the walk is simply not listed.
//  - name is the base name of /proc/PID/exe (a deleted executable's
//    " (deleted)" mark removed); command is /proc/PID/comm, which for a script
//    is the script's name while exe is the interpreter.
//  - matches() is true when either name equals the program (command is
//    truncated by the kernel to 15 characters, and compared so).

#include <QString>
#include <vector>

namespace ostrel {

struct RunningApplication {
  qint64 pid = 0;
  QString name;
  QString command;

  bool matches(const QString& program) const;
};

class RunningApplications {
 public:
  explicit RunningApplications(QString procRoot = QStringLiteral("/proc"));
  std::vector<RunningApplication> list() const;

 private:
  QString procRoot_;
};

}  // namespace ostrel
