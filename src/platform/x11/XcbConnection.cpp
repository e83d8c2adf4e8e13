#include "platform/x11/XcbConnection.h"

#include <QByteArray>
#include <QStringList>
#include <array>

namespace ostrel::platform::x11 {
namespace {

QString connectFailure(int code) {
  switch (code) {
    case XCB_CONN_ERROR:
      return QStringLiteral("no X server answers there, or it refused this user (check xauth / xhost)");
    case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
      return QStringLiteral("the server lacks an extension the connection needs");
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
      return QStringLiteral("out of memory");
    case XCB_CONN_CLOSED_PARSE_ERR:
      return QStringLiteral("the display name cannot be parsed");
    case XCB_CONN_CLOSED_INVALID_SCREEN:
      return QStringLiteral("the server has no such screen");
    default:
      return QStringLiteral("connection error %1").arg(code);
  }
}

QString waylandHint() {
  if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return {};
  return QStringLiteral(
      "; this is a Wayland session: global shortcuts, key observation and synthetic input need "
      "XWayland (start it, or log in to an X11 session)");
}

}  // namespace

QString xErrorName(std::uint8_t errorCode) {
  static constexpr std::array<const char*, 18> kNames = {
      "Success",   "BadRequest", "BadValue",    "BadWindow",   "BadPixmap", "BadAtom",
      "BadCursor", "BadFont",    "BadMatch",    "BadDrawable", "BadAccess", "BadAlloc",
      "BadColor",  "BadGC",      "BadIDChoice", "BadName",     "BadLength", "BadImplementation"};
  if (errorCode < kNames.size()) return QString::fromLatin1(kNames[errorCode]);
  return QStringLiteral("extension error %1").arg(errorCode);
}

QString XcbError::description() const {
  if (errorCode == 0) return QStringLiteral("the connection to the X server is lost");
  return QStringLiteral("%1 (request %2.%3, resource 0x%4)")
      .arg(xErrorName(errorCode))
      .arg(majorOpcode)
      .arg(minorOpcode)
      .arg(resourceId, 0, 16);
}

std::unique_ptr<XcbConnection> XcbConnection::open(QString* whyNot) {
  const QByteArray display = qgetenv("DISPLAY");
  if (display.isEmpty()) {
    if (whyNot) {
      *whyNot = QStringLiteral(
          "no X11 display: DISPLAY is not set; run Ostrel inside an X11 session (on Wayland "
          "without XWayland, global shortcuts, key observation and synthetic input are not "
          "available)");
    }
    return nullptr;
  }
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(display.constData(), &screenNumber);
  if (const int error = xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    if (whyNot) {
      *whyNot = QStringLiteral("no X11 display: cannot connect to \"%1\": %2%3")
                    .arg(QString::fromLocal8Bit(display), connectFailure(error), waylandHint());
    }
    return nullptr;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  if (!it.rem || !it.data) {
    xcb_disconnect(connection);
    if (whyNot) {
      *whyNot = QStringLiteral("no X11 display: \"%1\" names screen %2, which the server does not have")
                    .arg(QString::fromLocal8Bit(display))
                    .arg(screenNumber);
    }
    return nullptr;
  }
  return std::unique_ptr<XcbConnection>(new XcbConnection(connection, it.data->root));
}

XcbConnection::XcbConnection(xcb_connection_t* connection, xcb_window_t root) : connection_(connection), root_(root) {}

XcbConnection::~XcbConnection() {
  xcb_disconnect(connection_);
}

int XcbConnection::fileDescriptor() const {
  return xcb_get_file_descriptor(connection_);
}

bool XcbConnection::broken() const {
  return xcb_connection_has_error(connection_) != 0;
}

std::optional<XcbError> XcbConnection::check(xcb_void_cookie_t cookie) const {
  XcbPtr<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
  if (error) {
    return XcbError{error->error_code, error->major_code, error->minor_code, error->resource_id};
  }
  if (broken()) return XcbError{};  // code 0: no answer at all
  return std::nullopt;
}

bool XcbConnection::roundTrip() const {
  XcbPtr<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  return reply != nullptr;
}

void XcbConnection::flush() const {
  xcb_flush(connection_);
}

const xcb_query_extension_reply_t* XcbConnection::extension(xcb_extension_t* id) const {
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection_, id);
  return (data && data->present) ? data : nullptr;
}

}  // namespace ostrel::platform::x11
