#include "serial/PelSerialPortObservers.h"

#include <algorithm>

namespace ostrel {

PelSerialPortObservers::Token PelSerialPortObservers::add(PelSerialPortProperty property, Callback callback) {
  std::lock_guard lock(mutex_);
  const Token token = next_++;
  registrations_.push_back({token, property, std::move(callback)});
  return token;
}

void PelSerialPortObservers::remove(Token token) {
  std::lock_guard lock(mutex_);
  registrations_.erase(std::remove_if(registrations_.begin(), registrations_.end(),
                                      [token](const Registration& r) { return r.token == token; }),
                       registrations_.end());
}

void PelSerialPortObservers::announce(PelSerialPortProperty property) const {
  std::vector<Callback> matching;
  {
    std::lock_guard lock(mutex_);
    for (const Registration& r : registrations_) {
      if (r.property == property) matching.push_back(r.callback);
    }
  }
  for (const Callback& callback : matching) callback();
}

}  // namespace ostrel
