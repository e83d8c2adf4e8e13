#include "monitor/DeviceUsersLookup.h"

#include "common/MainThread.h"
#include "serial/PelSerialPortQueue.h"

#include <utility>

namespace ostrel {

DeviceUsersLookup::DeviceUsersLookup()
    : queue_(std::make_unique<PelSerialPortQueue>(QStringLiteral("ostrel.discovery.device-users"))) {}

DeviceUsersLookup::~DeviceUsersLookup() {
  alive_.reset();
  queue_.reset();
}

void DeviceUsersLookup::lookUp(const QStringList& paths, Answer answer) {
  if (paths.isEmpty()) {
    answer({});
    return;
  }
  std::weak_ptr<bool> alive = alive_;
  queue_->post([paths, alive, answer = std::move(answer)]() mutable {
    Users users = platform::deviceUsers(paths);
    mainthread::post([alive, answer = std::move(answer), users = std::move(users)]() mutable {
      // The owner (a discovery object on the main thread) may be gone by now.
      if (alive.lock()) answer(std::move(users));
    });
  });
}

}  // namespace ostrel
