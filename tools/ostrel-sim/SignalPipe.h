#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into bytes on a pipe, so that the event loop
// can end the simulator in an orderly way (removing its link) instead of the
// process dying inside a signal handler. Also ignores SIGPIPE (a reader that
// went away must not kill the simulator) and SIGTTIN (a simulator in the
// background must not be stopped for touching the terminal).
//
// One instance per process; it owns the handlers while it lives.

#include "ostrel-sim/UniqueFd.h"

#include <QString>
#include <memory>
#include <optional>

namespace ostrel::sim {

class SignalPipe {
 public:
  static std::unique_ptr<SignalPipe> install(QString* error);
  ~SignalPipe();
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  // Readable when a signal arrived.
  int readFd() const { return read_.get(); }
  // The next pending signal number, if any.
  std::optional<int> take();

 private:
  SignalPipe() = default;
  UniqueFd read_;
  UniqueFd write_;
};

}  // namespace ostrel::sim
