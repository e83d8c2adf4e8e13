#pragma once
// Why a serial port could not be opened, in words a user can act on.
//
// Discovery only logs an open failure (to the port's delegate). When ostrelctl
// finds a port closed after discovery, it opens it once more with a delegate
// of its own that hears the error, puts the original delegate back, and turns
// the errno into advice: permission (Ostrel's udev rule and how to apply it,
// or the dialout group), in use by another program (an Ostrel without a
// session bus, a terminal program), or the system's own text. A port that opens this time is closed again untouched.
// Main thread only.

#include "serial/PelSerialPortInterface.h"

#include <QString>

namespace ostrel::ctl {

class OpenFailureDiagnosis {
 public:
  // "/dev/ttyUSB0: permission denied (...)"
  static QString explain(const PelSerialPortRef& port);
  // The advice for one errno value.
  static QString reasonFor(int error);
};

}  // namespace ostrel::ctl
