#include "KivHotKey.h"

namespace ostrel {

std::atomic<std::uint32_t> CarbonHotKeyID{0};

std::unique_ptr<KivHotKey> KivHotKey::registeredHotKeyWithShortcut(const KivShortcut& shortcut,
                                                                   std::shared_ptr<platform::HotKeyService> service) {
  const std::uint32_t identifier = ++CarbonHotKeyID;
  // The hotkey service knows 16-bit key codes only; "no key" would otherwise
  // reach it as key code 0 and grab the A key.
  if (!service || shortcut.keyCode() > 0xFFFF) return nullptr;
  const std::optional<platform::HotKeyService::Handle> handle =
      service->registerHotKey(shortcut.carbonKeyCode(), shortcut.carbonFlags(), {KivHotKeySignature, identifier});
  if (!handle) return nullptr;
  return std::unique_ptr<KivHotKey>(new KivHotKey(identifier, std::move(service), *handle));
}

KivHotKey::KivHotKey(std::uint32_t carbonID, std::shared_ptr<platform::HotKeyService> service,
                     platform::HotKeyService::Handle handle)
    : carbonID_(carbonID), service_(std::move(service)), hotKeyRef_(handle) {}

KivHotKey::~KivHotKey() {
  service_->unregisterHotKey(hotKeyRef_);
}

}  // namespace ostrel
