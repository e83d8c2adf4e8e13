#pragma once
// The main thread is the thread of the QCoreApplication (or QApplication).
// Every delegate call, every window update and every shortcut action runs there.
//
// Contract:
//  - post(): queue fn to run on the main thread's event loop, after the caller
//    returns (also when the caller is the main thread). Calls posted from one
//    thread run in the order they were posted.
//  - runAndWait(): run fn on the main thread and return when it has run; when the
//    caller already is the main thread fn runs at once. Never call it while
//    holding a lock the main thread may wait for, and never make the main thread
//    wait (join, lock) for a thread that may be inside runAndWait(): that is a
//    deadlock. Returns false (fn not run) when there is no application object or
//    its event loop is shutting down.
//  - Without a QCoreApplication, post() runs fn at once on the caller's thread
//    (command-line tools that never start an event loop rely on that).

#include <functional>

namespace ostrel::mainthread {

bool isMainThread();
void post(std::function<void()> fn);
bool runAndWait(std::function<void()> fn);

}  // namespace ostrel::mainthread
