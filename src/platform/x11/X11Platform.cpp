#include "platform/x11/X11Platform.h"

#include "common/MainThread.h"
#include "platform/x11/X11GlobalKeyMonitor.h"
#include "platform/x11/X11HotKeyService.h"
#include "platform/x11/X11IdleMonitor.h"
#include "platform/x11/X11InputInjector.h"
#include "platform/x11/X11KeyboardLayout.h"
#include "platform/x11/XcbConnection.h"

#include <QCoreApplication>

namespace ostrel::platform {
namespace {

// Delivery runs through a socket notifier of the main thread's event loop.
bool onMainThreadWithLoop(const char* service, QString* whyNot) {
  if (QCoreApplication::instance() && mainthread::isMainThread()) return true;
  if (whyNot) {
    *whyNot = QStringLiteral("the X11 %1 must be created on the main thread of a running application")
                  .arg(QString::fromLatin1(service));
  }
  return false;
}

}  // namespace

bool x11SessionAvailable(QString* whyNot) {
  return x11::XcbConnection::open(whyNot) != nullptr;
}

std::unique_ptr<InputInjector> createX11InputInjector(QString* whyNot) {
  return x11::X11InputInjector::create(whyNot);
}

std::unique_ptr<GlobalKeyMonitor> createX11GlobalKeyMonitor(QString* whyNot) {
  if (!onMainThreadWithLoop("key monitor", whyNot)) return nullptr;
  return x11::X11GlobalKeyMonitor::create(whyNot);
}

std::unique_ptr<HotKeyService> createX11HotKeyService(QString* whyNot) {
  if (!onMainThreadWithLoop("hotkey service", whyNot)) return nullptr;
  return x11::X11HotKeyService::create(whyNot);
}

std::unique_ptr<KeyboardLayout> createX11KeyboardLayout(QString* whyNot) {
  return x11::X11KeyboardLayout::create(whyNot);
}

std::unique_ptr<IdleMonitor> createX11IdleMonitor(QString* whyNot) {
  return x11::X11IdleMonitor::create(whyNot);
}

}  // namespace ostrel::platform
