#include "AtomicPortReference.h"

#include <utility>

namespace ostrel {

PelSerialPortRef AtomicPortReference::load() const {
  std::lock_guard lock(mutex_);
  return port_;
}

void AtomicPortReference::store(PelSerialPortRef port) {
  PelSerialPortRef previous;
  {
    std::lock_guard lock(mutex_);
    previous = std::exchange(port_, std::move(port));
  }
  // The old port may be the last reference to its object: let it go outside the
  // lock so that a port's destructor never runs while readers are blocked.
}

}  // namespace ostrel
