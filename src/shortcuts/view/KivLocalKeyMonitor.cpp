#include "KivLocalKeyMonitor.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace ostrel {

KivLocalKeyMonitor& KivLocalKeyMonitor::shared() {
  // Owned by the application object; a new application (tests make one per
  // process, but nothing forbids more) gets a new monitor.
  static QPointer<KivLocalKeyMonitor> monitor;
  if (!monitor) monitor = new KivLocalKeyMonitor();
  return *monitor;
}

KivLocalKeyMonitor::KivLocalKeyMonitor() : QObject(QCoreApplication::instance()) {}

void KivLocalKeyMonitor::install(Handler handler) {
  const bool wasInstalled = isInstalled();
  handler_ = std::move(handler);
  // Installing again would move the filter to the front; it already is or the
  // handler swap is all that was asked.
  if (!wasInstalled && handler_) QCoreApplication::instance()->installEventFilter(this);
}

void KivLocalKeyMonitor::remove() {
  if (!isInstalled()) return;
  QCoreApplication::instance()->removeEventFilter(this);
  handler_ = nullptr;
}

bool KivLocalKeyMonitor::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
      break;
    default:
      return QObject::eventFilter(watched, event);
  }
  if (!handler_) return false;
  // A copy: the handler may remove the monitor, which would destroy it mid-call.
  const Handler handler = handler_;
  if (handler(*static_cast<QKeyEvent*>(event)) == Disposition::Consume) {
    event->accept();
    return true;
  }
  return false;
}

}  // namespace ostrel
