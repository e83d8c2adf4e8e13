#include "WindowCloser.h"

#include <xcb/xcb.h>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace ostrel::test {
namespace {

struct Connection {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  ~Connection() { xcb_disconnect(c); }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr),
      &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

}  // namespace

bool requestWindowClose(const QString& window) {
  bool ok = false;
  const xcb_window_t id = window.toUInt(&ok);
  if (!ok) return false;
  Connection connection;
  if (xcb_connection_has_error(connection.c)) return false;
  const xcb_atom_t protocols = atom(connection.c, "WM_PROTOCOLS");
  const xcb_atom_t deleteWindow = atom(connection.c, "WM_DELETE_WINDOW");
  if (protocols == XCB_ATOM_NONE || deleteWindow == XCB_ATOM_NONE) return false;
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = id;
  message.type = protocols;
  message.data.data32[0] = deleteWindow;
  message.data.data32[1] = XCB_CURRENT_TIME;
  std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
      xcb_request_check(connection.c, xcb_send_event_checked(connection.c, 0, id, XCB_EVENT_MASK_NO_EVENT,
                                                             reinterpret_cast<const char*>(&message))),
      &std::free);
  return !error;
}

}  // namespace ostrel::test
