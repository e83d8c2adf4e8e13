#pragma once
// Tells when some process closes a device node, so that a serial port skipped
// because another program held it can be looked at again as soon as that
// program lets go, instead of at the next hot-plug. The kernel reports every
// close of the node, whoever made it (this process too); whether anybody still
// holds the device is for the caller to find out.
//
// Contract:
//  - watch(path): from now on the closed handler is called with `path`, exactly
//    as given, after any close of the device node it leads to (a link such as
//    /dev/serial/by-id/... is followed to its node). Several closes may come as
//    one call or several. A second watch() of the same path is a no-op. False,
//    with a reason, when the node cannot be watched; nothing is delivered for
//    that path then. The node going away (unplugged) ends its watch with one
//    last call.
//  - unwatch(path): nothing more for that path, not even closes already
//    queued. Unknown paths are ignored.
//  - Everything on the thread that created the object (the main thread):
//    events are read there, the handler runs there, from the event loop.

#include <QString>
#include <functional>

namespace ostrel::platform {

class DeviceCloseWatch {
 public:
  using ClosedHandler = std::function<void(const QString& path)>;
  virtual ~DeviceCloseWatch() = default;
  virtual void setClosedHandler(ClosedHandler handler) = 0;
  virtual bool watch(const QString& path, QString* whyNot) = 0;
  virtual void unwatch(const QString& path) = 0;
};

}  // namespace ostrel::platform
