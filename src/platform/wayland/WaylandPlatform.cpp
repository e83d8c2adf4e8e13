#include "platform/wayland/WaylandPlatform.h"

#include "common/MainThread.h"
#include "platform/wayland/WaylandIdleMonitor.h"
#include "platform/wayland/WaylandVirtualInput.h"

#include <QCoreApplication>

namespace ostrel::platform {
namespace {

// The connection is read through a socket notifier of the main thread's loop.
bool onMainThreadWithLoop(const char* service, QString* whyNot) {
  if (QCoreApplication::instance() && mainthread::isMainThread()) return true;
  if (whyNot) {
    *whyNot = QStringLiteral("the Wayland %1 must be created on the main thread of a running application")
                  .arg(QString::fromLatin1(service));
  }
  return false;
}

}  // namespace

std::unique_ptr<InputInjector> createWaylandInputInjector(QString* whyNot) {
  if (!onMainThreadWithLoop("virtual keyboard and pointer", whyNot)) return nullptr;
  return wayland::WaylandVirtualInput::create(whyNot);
}

std::unique_ptr<IdleMonitor> createWaylandIdleMonitor(QString* whyNot) {
  if (!onMainThreadWithLoop("idle monitor", whyNot)) return nullptr;
  return wayland::WaylandIdleMonitor::create(whyNot);
}

}  // namespace ostrel::platform
