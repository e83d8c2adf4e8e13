#pragma once
// What one open of a port owns: the device, the wake-up event that ends every
// wait on it, and the flags the port thread and the writers share. Private to
// the PelSerialPort*.cpp files.

#include "platform/posix/TerminalDevice.h"
#include "platform/posix/WakeupEvent.h"
#include "serial/PelSerialPort.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

namespace ostrel {

struct PelSerialPort::Session {
  std::unique_ptr<platform::TerminalDevice> device;
  platform::WakeupEvent wakeup;
  int descriptor = 0;
  platform::TerminalAttributes originalAttributes;  // put back at close
  bool haveOriginalAttributes = false;

  std::atomic<bool> closing{false};
  std::atomic<bool> removalAnnounced{false};
  std::atomic<bool> removalEchoed{false};  // the manager's report of it came too
  std::atomic<bool> modemLinesUnsupported{false};

  // One writer at a time for a whole sendData(), so frames never interleave;
  // the next one waits for its turn only until its own bound. (A gate of our
  // own rather than std::timed_mutex: ThreadSanitizer cannot see the timed lock
  // glibc implements that with.)
  std::mutex writerMutex;
  std::condition_variable writerDone;
  bool writing = false;  // under writerMutex
  // Every use of the descriptor outside the port thread holds deviceMutex
  // shared; the final close takes it exclusively, after the wake-up event has
  // sent waiting writers away.
  std::shared_mutex deviceMutex;
  bool deviceClosed = false;  // under deviceMutex
  // Set by the first write that ran out of time, cleared by the next one that
  // gets through: a stalled line is reported once, not at every dropped frame.
  std::atomic<bool> writeStalled{false};

  // The port thread. Whoever waits for the session's end takes it and joins it;
  // `finished` (under the port's MainThreadCalls mutex) is set as its last act.
  std::mutex threadMutex;
  std::thread thread;
  bool finished = false;

  // Work to do once the close has completed (the reopening after a flow-control
  // change).
  std::mutex afterCloseMutex;
  std::vector<std::function<void()>> afterClose;
  bool closed = false;  // under afterCloseMutex
};

// Delegate calls the port's threads hand to the main thread and wait for. The
// main thread runs them from its event loop, or directly while it waits for a
// port thread to end (waitForSessionEnd), so neither waits for the other.
struct PelSerialPort::MainThreadCalls {
  struct Call {
    std::function<void()> fn;
    bool done = false;
    bool ran = false;
  };
  std::mutex mutex;
  std::condition_variable changed;  // a call was queued or done, or a session finished
  std::deque<std::shared_ptr<Call>> pending;

  // Runs the calls waiting now (main thread).
  void runPending();
  // Runs one waiting call, unlocking `lock` around it; false when none waits.
  bool runOne(std::unique_lock<std::mutex>& lock);
};

}  // namespace ostrel
