#pragma once
// Runs the calling thread's event loop until `done()` holds or `timeoutMs`
// passes; returns whether it held. Generous timeouts keep loaded machines green
// without slowing the passing case.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

namespace ostrel::test {

template <typename Predicate>
bool runEventLoopUntil(Predicate done, int timeoutMs = 5000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

// Runs the event loop for `ms` milliseconds (to show that something does NOT happen).
inline void runEventLoopFor(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
}

}  // namespace ostrel::test
