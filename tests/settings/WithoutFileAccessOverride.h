#pragma once
// Tests run as root on some machines, and root writes into read-only folders.
// While alive, this drops the calling thread's capabilities that bypass file
// permissions, so chmod means what it says; they come back on destruction. For
// an ordinary user it changes nothing.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ostrel::test {

class WithoutFileAccessOverride {
 public:
  WithoutFileAccessOverride() {
    header_ = {_LINUX_CAPABILITY_VERSION_3, 0};
    if (syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
      reduced[cap / 32].effective &= ~(1u << (cap % 32));
    active_ = syscall(SYS_capset, &header_, reduced) == 0;
  }
  ~WithoutFileAccessOverride() {
    if (active_) syscall(SYS_capset, &header_, saved_);
  }
  WithoutFileAccessOverride(const WithoutFileAccessOverride&) = delete;
  WithoutFileAccessOverride& operator=(const WithoutFileAccessOverride&) = delete;

 private:
  __user_cap_header_struct header_{};
  __user_cap_data_struct saved_[2]{};
  bool active_ = false;
};

}  // namespace ostrel::test
