#pragma once
// A small notification centre: observers register for a name (and optionally one
// sender); post() calls every matching observer synchronously on the posting
// thread, in registration order. User information is a map of typed values.

#include <QString>
#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace ostrel {

struct Notification {
  QString name;
  const void* object = nullptr;  // the sender
  std::map<QString, std::any> userInfo;
};

class NotificationCenter {
 public:
  using Handler = std::function<void(const Notification&)>;
  using Token = std::uint64_t;

  static NotificationCenter& defaultCenter();

  // object == nullptr observes every sender.
  Token addObserver(const QString& name, const void* object, Handler handler);
  void removeObserver(Token token);
  void post(const Notification& notification);

 private:
  struct Entry {
    Token token;
    QString name;
    const void* object;
    Handler handler;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
  Token next_ = 1;
};

// Removes its observer when it goes away.
class ScopedObserver {
 public:
  ScopedObserver() = default;
  ScopedObserver(NotificationCenter& center, NotificationCenter::Token token) : center_(&center), token_(token) {}
  ScopedObserver(ScopedObserver&& other) noexcept { *this = std::move(other); }
  ScopedObserver& operator=(ScopedObserver&& other) noexcept {
    reset();
    center_ = other.center_;
    token_ = other.token_;
    other.center_ = nullptr;
    return *this;
  }
  ~ScopedObserver() { reset(); }
  void reset() {
    if (center_) center_->removeObserver(token_);
    center_ = nullptr;
  }

 private:
  NotificationCenter* center_ = nullptr;
  NotificationCenter::Token token_ = 0;
};

}  // namespace ostrel
