#include "KivShortcutMonitor.h"

#include "common/MainThread.h"
#include "platform/HotKeyService.h"

#include <mutex>

namespace ostrel {
namespace {

struct ServiceHolder {
  std::mutex mutex;
  std::shared_ptr<platform::HotKeyService> service;
};

ServiceHolder& serviceHolder() {
  static ServiceHolder holder;
  return holder;
}

}  // namespace

void KivShortcutMonitor::setSystemHotKeyService(std::shared_ptr<platform::HotKeyService> service) {
  std::lock_guard lock(serviceHolder().mutex);
  serviceHolder().service = std::move(service);
}

std::shared_ptr<platform::HotKeyService> KivShortcutMonitor::systemHotKeyService() {
  std::lock_guard lock(serviceHolder().mutex);
  return serviceHolder().service;
}

std::shared_ptr<KivShortcutMonitor> KivShortcutMonitor::sharedMonitor() {
  // Never destroyed: hotkeys registered through it live as long as the process.
  static std::shared_ptr<KivShortcutMonitor>* const monitor =
      new std::shared_ptr<KivShortcutMonitor>(create(systemHotKeyService()));
  return *monitor;
}

std::shared_ptr<KivShortcutMonitor> KivShortcutMonitor::create(std::shared_ptr<platform::HotKeyService> service) {
  if (!service) return nullptr;
  return std::shared_ptr<KivShortcutMonitor>(new KivShortcutMonitor(std::move(service)));
}

KivShortcutMonitor::KivShortcutMonitor(std::shared_ptr<platform::HotKeyService> service)
    : service_(std::move(service)) {
  service_->setPressedHandler([this](platform::HotKeyId id) { handleEvent(id); });
}

KivShortcutMonitor::~KivShortcutMonitor() {
  service_->setPressedHandler({});
  hotKeys_.clear();
}

bool KivShortcutMonitor::registerShortcut(const KivShortcut& shortcut, std::function<void()> action) {
  std::unique_ptr<KivHotKey> hotKey = KivHotKey::registeredHotKeyWithShortcut(shortcut, service_);
  if (!hotKey) return false;
  hotKey->setAction(std::move(action));
  // The new registration exists before the one it replaces goes away.
  hotKeys_.insert_or_assign(shortcut, std::move(hotKey));
  return true;
}

void KivShortcutMonitor::unregisterShortcut(const std::optional<KivShortcut>& shortcut) {
  if (shortcut) hotKeys_.erase(*shortcut);
}

void KivShortcutMonitor::unregisterAllShortcuts() {
  hotKeys_.clear();
}

bool KivShortcutMonitor::isShortcutRegistered(const KivShortcut& shortcut) const {
  return hotKeys_.contains(shortcut);
}

void KivShortcutMonitor::handleEvent(const platform::HotKeyId& id) {
  if (id.signature != KivHotKeySignature) return;
  for (const auto& [shortcut, hotKey] : hotKeys_) {
    if (hotKey->carbonID() != id.identifier) continue;
    if (hotKey->action()) mainthread::post(hotKey->action());
    return;
  }
}

}  // namespace ostrel
