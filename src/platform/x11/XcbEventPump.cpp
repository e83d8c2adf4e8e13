#include "platform/x11/XcbEventPump.h"

#include "common/Log.h"

#include <QMetaObject>

namespace ostrel::platform::x11 {

XcbEventPump::XcbEventPump(const XcbConnection& connection, Handler handler)
    : connection_(connection),
      handler_(std::move(handler)),
      notifier_(connection.fileDescriptor(), QSocketNotifier::Read),
      alive_(std::make_shared<bool>(true)) {
  QObject::connect(&notifier_, &QSocketNotifier::activated, &notifier_, [this] { deliver(true); });
  notifier_.setEnabled(true);
}

XcbEventPump::~XcbEventPump() {
  *alive_ = false;
  notifier_.setEnabled(false);
}

void XcbEventPump::drain() {
  deliver(true);
}

void XcbEventPump::drainSoon() {
  // Events the last request pulled into xcb's queue: the socket will not wake us
  // for them.
  QMetaObject::invokeMethod(
      &notifier_, [this] { deliver(false); }, Qt::QueuedConnection);
}

void XcbEventPump::deliver(bool readSocket) {
  const std::weak_ptr<bool> alive = alive_;
  xcb_connection_t* c = connection_.get();
  for (;;) {
    XcbPtr<xcb_generic_event_t> event(readSocket ? xcb_poll_for_event(c) : xcb_poll_for_queued_event(c));
    if (!event) break;
    // A copy: the handler may destroy this pump, and with it handler_.
    const Handler handler = handler_;
    handler(*event);
    const auto token = alive.lock();
    if (!token || !*token) return;
  }
  if (connection_.broken()) {
    // A dead connection stays readable forever; stop watching it.
    notifier_.setEnabled(false);
    if (!reportedLoss_) {
      reportedLoss_ = true;
      ostrel::log("X11 connection lost (error %d); global keys stop working until Ostrel restarts",
                  xcb_connection_has_error(c));
    }
  }
}

}  // namespace ostrel::platform::x11
