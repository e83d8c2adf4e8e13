#pragma once
// How long the X server has seen no keyboard or pointer input, from its
// MIT-SCREEN-SAVER extension (the server's own idle counter, which every
// input device and XTEST reset). The extension only answers questions, so
// this backend asks: one round trip per isIdle(), on a connection of its own.

#include "platform/IdleMonitor.h"
#include "platform/x11/XcbConnection.h"

#include <memory>

namespace ostrel::platform::x11 {

class X11IdleMonitor final : public IdleMonitor {
 public:
  // Null with a reason when there is no display or it lacks the extension.
  static std::unique_ptr<X11IdleMonitor> create(QString* whyNot);

  void setIdleThreshold(std::chrono::milliseconds threshold) override;
  std::optional<bool> isIdle() override;
  QString describe() const override;

  // The server's idle time now, or nothing when it cannot be read.
  std::optional<std::chrono::milliseconds> idleTime();

 private:
  X11IdleMonitor(std::unique_ptr<XcbConnection> connection, QString display);

  std::unique_ptr<XcbConnection> connection_;
  QString display_;
  std::chrono::milliseconds threshold_{0};
  bool lossLogged_ = false;
};

}  // namespace ostrel::platform::x11
