#pragma once
// The simulated adapter: a pseudo-terminal whose slave side is the "serial
// device" Ostrel opens and whose master side is the monitor's end of the line.
//
// The simulator keeps a descriptor of its own to the slave for as long as the
// adapter is "plugged in": without it the master would see a hang-up every time
// Ostrel closes the port, and the line settings would be lost between opens.
// The simulator never reads that descriptor, so it steals no bytes.

#include "ostrel-sim/UniqueFd.h"

#include <QString>
#include <cstddef>
#include <optional>

namespace ostrel::sim {

struct IoResult {
  enum class Status {
    Ok,          // `bytes` were transferred (0 only if 0 were asked for)
    WouldBlock,  // nothing now; wait for the descriptor to become ready
    HungUp,      // the other side is gone for good
    Failed,      // any other error; `error` holds errno
  };
  Status status = Status::Ok;
  std::size_t bytes = 0;
  int error = 0;
};

class PseudoTerminal {
 public:
  // A new pair: slave in raw mode (8N1, 115200, no echo, no flow control),
  // master non-blocking, both close-on-exec.
  static std::optional<PseudoTerminal> open(QString* error);

  PseudoTerminal(PseudoTerminal&&) noexcept = default;
  PseudoTerminal& operator=(PseudoTerminal&&) noexcept = default;
  ~PseudoTerminal();

  int masterFd() const { return master_.get(); }
  // The slave's device path, e.g. /dev/pts/3.
  const QString& slavePath() const { return slavePath_; }

  IoResult read(char* buffer, std::size_t size);
  IoResult write(const char* data, std::size_t size);

  // What a real line does when its last user closes it: the exclusive-use
  // flag a program set goes away (our own descriptor would otherwise keep it
  // for ever, and every later open by a normal user would fail with EBUSY),
  // and bytes nobody read are discarded.
  void forgetLastUser();

  // Master first, so that whoever holds the slave sees the hang-up at once,
  // exactly as when a USB adapter is pulled.
  void close();

 private:
  PseudoTerminal() = default;
  UniqueFd master_;
  UniqueFd slave_;
  QString slavePath_;
};

}  // namespace ostrel::sim
