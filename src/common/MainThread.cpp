#include "MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace ostrel::mainthread {

bool isMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app ? QThread::currentThread() == app->thread() : true;
}

void post(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

bool runAndWait(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    fn();
    return true;
  }
  if (QThread::currentThread() == app->thread()) {
    fn();
    return true;
  }
  if (QCoreApplication::closingDown()) return false;
  return QMetaObject::invokeMethod(app, std::move(fn), Qt::BlockingQueuedConnection);
}

}  // namespace ostrel::mainthread
