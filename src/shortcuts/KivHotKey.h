#pragma once
// One system-wide hotkey registration, alive exactly as long as the object:
// created registered, unregistered on destruction. Not copyable.
//
// Every hotkey takes the next identifier of the process-wide counter
// CarbonHotKeyID before it registers (1, 2, 3 ... in creation order, refused
// registrations included), so an identifier is never reused. Main thread.

#include "KivShortcut.h"
#include "platform/HotKeyService.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace ostrel {

// The signature of every hotkey Ostrel registers: the four characters "KivS".
inline constexpr std::uint32_t KivHotKeySignature =
    (std::uint32_t{'K'} << 24) | (std::uint32_t{'i'} << 16) | (std::uint32_t{'v'} << 8) | std::uint32_t{'S'};

// The last identifier handed out (0 before the first hotkey).
extern std::atomic<std::uint32_t> CarbonHotKeyID;

class KivHotKey {
 public:
  // Registers `shortcut` with `service`; nothing when the service refuses it or
  // the shortcut has no key (or a key code beyond 16 bits).
  static std::unique_ptr<KivHotKey> registeredHotKeyWithShortcut(const KivShortcut& shortcut,
                                                                 std::shared_ptr<platform::HotKeyService> service);
  ~KivHotKey();
  KivHotKey(const KivHotKey&) = delete;
  KivHotKey& operator=(const KivHotKey&) = delete;

  std::uint32_t carbonID() const { return carbonID_; }
  const std::function<void()>& action() const { return action_; }
  void setAction(std::function<void()> action) { action_ = std::move(action); }

 private:
  KivHotKey(std::uint32_t carbonID, std::shared_ptr<platform::HotKeyService> service,
            platform::HotKeyService::Handle handle);

  std::uint32_t carbonID_;
  std::function<void()> action_;
  std::shared_ptr<platform::HotKeyService> service_;
  platform::HotKeyService::Handle hotKeyRef_;
};

}  // namespace ostrel
