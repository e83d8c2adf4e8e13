#pragma once
// Which other programs hold serial devices open (platform/posix/DeviceUsers.h),
// looked up off the main thread: the look-up reads every process's descriptor
// table, several milliseconds on a busy machine, and discovery asks it at every
// pass.
//
// Contract:
//  - lookUp() on the main thread; the answer comes back on the main thread from
//    its event loop, answers in the order asked. Without paths nothing is read
//    and the answer comes at once, before lookUp() returns.
//  - Destruction drops the answers not yet delivered and waits for a look-up
//    under way (reads only, so it ends soon).

#include "platform/posix/DeviceUsers.h"

#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace ostrel {

class PelSerialPortQueue;

class DeviceUsersLookup {
 public:
  using Users = std::map<QString, std::vector<platform::DeviceUser>>;
  using Answer = std::function<void(Users)>;

  DeviceUsersLookup();
  ~DeviceUsersLookup();
  DeviceUsersLookup(const DeviceUsersLookup&) = delete;
  DeviceUsersLookup& operator=(const DeviceUsersLookup&) = delete;

  void lookUp(const QStringList& paths, Answer answer);

 private:
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::unique_ptr<PelSerialPortQueue> queue_;
};

}  // namespace ostrel
