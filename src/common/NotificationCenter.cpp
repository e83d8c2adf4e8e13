#include "NotificationCenter.h"

#include <algorithm>

namespace ostrel {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter center;
  return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, const void* object, Handler handler) {
  std::lock_guard lock(mutex_);
  const Token token = next_++;
  entries_.push_back({token, name, object, std::move(handler)});
  return token;
}

void NotificationCenter::removeObserver(Token token) {
  std::lock_guard lock(mutex_);
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.token == token; }),
                 entries_.end());
}

void NotificationCenter::post(const Notification& notification) {
  // Handlers run without the lock so that they may add or remove observers.
  std::vector<Entry> matching;
  {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_) {
      if (e.name == notification.name && (!e.object || e.object == notification.object)) matching.push_back(e);
    }
  }
  for (const Entry& e : matching) e.handler(notification);
}

}  // namespace ostrel
