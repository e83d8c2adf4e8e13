#include "MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace ostrel::mainthread {
namespace {

// Calls travel through a queue of our own, handed over under our own mutex.
// Qt's event queue would carry them just as well, but its locking lives in an
// uninstrumented library, so ThreadSanitizer could not see that the posting
// thread's writes happen before the call runs, and would report races that are
// not there.
struct PostedCalls {
  std::mutex mutex;
  std::deque<std::function<void()>> calls;
};

PostedCalls& postedCalls() {
  static auto* calls = new PostedCalls;  // outlives static destruction on purpose
  return *calls;
}

void runOnePosted() {
  std::function<void()> fn;
  {
    PostedCalls& posted = postedCalls();
    std::lock_guard lock(posted.mutex);
    if (posted.calls.empty()) return;
    fn = std::move(posted.calls.front());
    posted.calls.pop_front();
  }
  fn();
}

}  // namespace

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
  {
    PostedCalls& posted = postedCalls();
    std::lock_guard lock(posted.mutex);
    posted.calls.push_back(std::move(fn));
  }
  // One wake-up per call: Qt keeps queued calls in order, so each wake-up runs
  // the oldest call waiting.
  QMetaObject::invokeMethod(app, &runOnePosted, Qt::QueuedConnection);
}

bool runAndWait(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) {
    fn();
    return true;
  }
  struct Handshake {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
  };
  auto handshake = std::make_shared<Handshake>();
  post([handshake, fn = std::move(fn)] {
    fn();
    std::lock_guard lock(handshake->mutex);
    handshake->finished = true;
    handshake->done.notify_all();
  });
  std::unique_lock lock(handshake->mutex);
  while (!handshake->finished) {
    // An event loop that has ended will never run the call.
    if (handshake->done.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout &&
        QCoreApplication::closingDown()) {
      return false;
    }
  }
  return true;
}

}  // namespace ostrel::mainthread
