#pragma once
// A port reference that one thread may replace while another reads it.
//
// currentPort is changed on the main thread (discovery, the monitor list) and
// read by the command encoder on both the main thread and the auto-clear timer's
// thread. A plain shared_ptr would tear under that; this hands out a private copy
// under a short lock, so a reader keeps its port alive for the whole send even if
// the main thread switches to another port meanwhile.

#include "serial/PelSerialPortInterface.h"

#include <mutex>

namespace ostrel {

class AtomicPortReference {
 public:
  AtomicPortReference() = default;
  AtomicPortReference(const AtomicPortReference&) = delete;
  AtomicPortReference& operator=(const AtomicPortReference&) = delete;

  PelSerialPortRef load() const;
  void store(PelSerialPortRef port);
  void reset() { store(nullptr); }

 private:
  mutable std::mutex mutex_;
  PelSerialPortRef port_;
};

}  // namespace ostrel
