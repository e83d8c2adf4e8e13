#include "platform/x11/X11IdleMonitor.h"

#include "common/Log.h"

#include <xcb/screensaver.h>
#include <QtGlobal>
#include <algorithm>

namespace ostrel::platform::x11 {

std::unique_ptr<X11IdleMonitor> X11IdleMonitor::create(QString* whyNot) {
  auto connection = XcbConnection::open(whyNot);
  if (!connection) return nullptr;
  if (!connection->extension(&xcb_screensaver_id)) {
    if (whyNot) *whyNot = QStringLiteral("the X server has no MIT-SCREEN-SAVER extension to tell its idle time");
    return nullptr;
  }
  xcb_connection_t* c = connection->get();
  XcbPtr<xcb_screensaver_query_version_reply_t> version(
      xcb_screensaver_query_version_reply(c, xcb_screensaver_query_version(c, 1, 1), nullptr));
  if (!version) {
    if (whyNot) *whyNot = QStringLiteral("the X server's MIT-SCREEN-SAVER extension did not answer");
    return nullptr;
  }
  return std::unique_ptr<X11IdleMonitor>(new X11IdleMonitor(std::move(connection), qEnvironmentVariable("DISPLAY")));
}

X11IdleMonitor::X11IdleMonitor(std::unique_ptr<XcbConnection> connection, QString display)
    : connection_(std::move(connection)), display_(std::move(display)) {}

void X11IdleMonitor::setIdleThreshold(std::chrono::milliseconds threshold) {
  threshold_ = std::max(threshold, std::chrono::milliseconds(1000));
}

std::optional<std::chrono::milliseconds> X11IdleMonitor::idleTime() {
  xcb_connection_t* c = connection_->get();
  XcbPtr<xcb_screensaver_query_info_reply_t> info(
      xcb_screensaver_query_info_reply(c, xcb_screensaver_query_info(c, connection_->root()), nullptr));
  if (!info) {
    if (!lossLogged_) {
      lossLogged_ = true;
      log("The X server's idle time can't be read any more: %@",
          connection_->broken() ? QStringLiteral("the connection to the X display was lost")
                                : QStringLiteral("MIT-SCREEN-SAVER did not answer"));
    }
    return std::nullopt;
  }
  return std::chrono::milliseconds(info->ms_since_user_input);
}

std::optional<bool> X11IdleMonitor::isIdle() {
  if (threshold_.count() == 0) return false;
  const std::optional<std::chrono::milliseconds> idle = idleTime();
  if (!idle) return std::nullopt;
  return *idle >= threshold_;
}

QString X11IdleMonitor::describe() const {
  return QStringLiteral("MIT-SCREEN-SAVER on the X display %1 (asked at each Auto Clear tick)").arg(display_);
}

}  // namespace ostrel::platform::x11
