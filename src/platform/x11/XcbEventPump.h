#pragma once
// Reads a backend's X connection on the main thread: a socket notifier wakes it,
// and every queued event goes to the handler, in the server's order.
//
// xcb moves events from the socket into its own queue whenever it waits for a
// reply, after which the socket no longer looks readable. A backend that makes
// requests on a watched connection therefore calls drainSoon() afterwards, so
// such events are not left sitting in the queue until the next wake-up.
//
// The handler may destroy the pump's owner; the pump then stops at once.
// Construct, use and destroy on the main thread.

#include "platform/x11/XcbConnection.h"

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace ostrel::platform::x11 {

class XcbEventPump {
 public:
  using Handler = std::function<void(const xcb_generic_event_t& event)>;
  XcbEventPump(const XcbConnection& connection, Handler handler);
  ~XcbEventPump();
  XcbEventPump(const XcbEventPump&) = delete;
  XcbEventPump& operator=(const XcbEventPump&) = delete;

  // Delivers everything already queued and readable now.
  void drain();
  // Queues a drain() on the main thread's event loop.
  void drainSoon();

 private:
  void deliver(bool readSocket);
  const XcbConnection& connection_;
  Handler handler_;
  QSocketNotifier notifier_;
  std::shared_ptr<bool> alive_;
  bool reportedLoss_ = false;
};

}  // namespace ostrel::platform::x11
