#pragma once
// Tells the simulator when programs open and close its port. A real adapter's
// driver drops what the monitor sends while the port is closed and forgets the
// exclusive-use flag at the last close; a pseudo-terminal whose slave we keep
// open ourselves does neither, so the simulator has to see the opens and
// closes to behave like the adapter. inotify reports them for every path that
// leads to the device, the published link included.

#include "ostrel-sim/UniqueFd.h"

#include <QString>
#include <optional>

namespace ostrel::sim {

class PortOpenWatch {
 public:
  static std::optional<PortOpenWatch> watch(const QString& devicePath, QString* error);

  // Readable when opens or closes happened.
  int fd() const { return fd_.get(); }

  struct Changes {
    int opened = 0;
    int closed = 0;
    bool lostTrack = false;  // the kernel dropped events; counts are unreliable
  };
  // Everything that happened since the last call; never blocks.
  Changes take();

 private:
  explicit PortOpenWatch(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

}  // namespace ostrel::sim
