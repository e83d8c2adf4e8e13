#pragma once
// One private X connection per backend, so that Ostrel's grabs, selections and
// error handling never mix with Qt's own connection. Requests that can fail are
// sent checked and their errors returned to the caller; no process-wide error
// handler is installed.

#include "platform/x11/XcbPtr.h"

#include <xcb/xcb.h>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

namespace ostrel::platform::x11 {

// The parts of an X error a caller acts on.
struct XcbError {
  std::uint8_t errorCode = 0;
  std::uint8_t majorOpcode = 0;
  std::uint16_t minorOpcode = 0;
  std::uint32_t resourceId = 0;

  static constexpr std::uint8_t kBadAccess = 10;
  QString description() const;
};

// The X protocol's name for an error code ("BadAccess").
QString xErrorName(std::uint8_t errorCode);

class XcbConnection {
 public:
  // Connects to $DISPLAY. Null with a reason a person can act on when there is
  // no display to connect to.
  static std::unique_ptr<XcbConnection> open(QString* whyNot);
  ~XcbConnection();
  XcbConnection(const XcbConnection&) = delete;
  XcbConnection& operator=(const XcbConnection&) = delete;

  xcb_connection_t* get() const { return connection_; }
  xcb_window_t root() const { return root_; }
  int fileDescriptor() const;
  // True once the server closed the connection or the stream broke; every
  // request fails from then on.
  bool broken() const;

  // Waits for the outcome of a request sent with a *_checked function: empty on
  // success, the error otherwise (a broken connection reads as an error too).
  std::optional<XcbError> check(xcb_void_cookie_t cookie) const;
  // Makes sure the server has processed everything sent so far, and so that every
  // event it generated on the way has arrived in xcb's queue.
  bool roundTrip() const;
  void flush() const;

  // The extension's data when the server offers it, else null.
  const xcb_query_extension_reply_t* extension(xcb_extension_t* id) const;

 private:
  XcbConnection(xcb_connection_t* connection, xcb_window_t root);
  xcb_connection_t* connection_;
  xcb_window_t root_;
};

}  // namespace ostrel::platform::x11
