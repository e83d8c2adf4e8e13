#pragma once
// What one open of a port owns: the device, the wake-up event that ends every
// wait on it, and the flags the port thread and the writers share. Private to
// the PelSerialPort*.cpp files.

#include "platform/posix/TerminalDevice.h"
#include "platform/posix/WakeupEvent.h"
#include "serial/PelSerialPort.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
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

  // Writers hold writeMutex for a whole sendData() so frames never interleave.
  // Every use of the descriptor outside the port thread holds deviceMutex
  // shared; the final close takes it exclusively, after the wake-up event has
  // sent waiting writers away.
  std::mutex writeMutex;
  std::shared_mutex deviceMutex;
  bool deviceClosed = false;  // under deviceMutex

  // Work to do once the close has completed (the reopening after a flow-control
  // change).
  std::mutex afterCloseMutex;
  std::vector<std::function<void()>> afterClose;
  bool closed = false;  // under afterCloseMutex
};

}  // namespace ostrel
