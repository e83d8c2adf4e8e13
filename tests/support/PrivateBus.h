#pragma once
// A D-Bus daemon of the test's own, for a bus the test must not share with the
// machine: a system bus for a stand-in logind, an empty one for a desktop
// shell that will not start without a system bus. Everyone may own any name
// and call anyone. It ends with the object.

#include "support/ChildProcess.h"

#include <QString>

namespace ostrel::test {

class PrivateBus {
 public:
  // `name` tells the socket and configuration apart ("system-bus").
  bool start(const QString& name, QString* error);
  QString address() const { return address_; }

 private:
  ChildProcess daemon_;
  QString address_;
};

}  // namespace ostrel::test
