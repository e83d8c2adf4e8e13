#pragma once
// Why a serial port could not be opened, in words a person can act on. Opening
// is where permission and contention show up: the error numbers below come from
// no other operation on a terminal.

#include <QString>

namespace ostrel {

class PortOpenAdvice {
 public:
  // Advice for an errno from opening a port; empty for errors that are not
  // about access (those are reported as they are).
  static QString adviceFor(int error);

  // Logs the advice once per device path for the life of the process, so a
  // port that stays unusable does not repeat it at every discovery pass.
  // Returns whether a line was logged. Main thread only.
  static bool logOncePerPort(const QString& path, int error);
};

}  // namespace ostrel
