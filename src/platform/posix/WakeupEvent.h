#pragma once
// An eventfd that wakes every poll() waiting on it, for good: once signalled it
// stays readable, which is what a cancel flag for several waiters needs.

namespace ostrel::platform {

class WakeupEvent {
 public:
  WakeupEvent();  // descriptor() is -1 when the kernel refused one
  ~WakeupEvent();
  WakeupEvent(const WakeupEvent&) = delete;
  WakeupEvent& operator=(const WakeupEvent&) = delete;

  bool valid() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }
  void signal() const;

 private:
  int fd_ = -1;
};

}  // namespace ostrel::platform
