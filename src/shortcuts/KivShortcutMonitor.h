#pragma once
// The registry of system-wide hotkeys: owns one KivHotKey per registered
// shortcut, receives the presses from the hotkey service and queues the
// matching action on the main thread (it never runs inside the service's
// callback).
//
// Contract:
//  - registerShortcut(): false, with nothing changed, when the system refuses the
//    combination; otherwise the new registration replaces (and so releases) one of
//    an equal shortcut.
//  - unregisterShortcut() of nothing or of an unregistered shortcut changes nothing.
//  - A press whose signature is not KivHotKeySignature, or whose identifier is
//    unknown, runs nothing; a hotkey without action runs nothing.
//  - One monitor per HotKeyService: the monitor installs the service's pressed
//    handler and removes it on destruction, which also releases every hotkey.
//  - Main thread only.

#include "KivHotKey.h"
#include "KivShortcut.h"

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

namespace ostrel::platform {
class HotKeyService;
struct HotKeyId;
}  // namespace ostrel::platform

namespace ostrel {

class KivShortcutMonitor {
 public:
  // The process-wide hotkey service (the X11 backend in Ostrel); set it once at
  // start, before sharedMonitor() is first asked.
  static void setSystemHotKeyService(std::shared_ptr<platform::HotKeyService> service);
  static std::shared_ptr<platform::HotKeyService> systemHotKeyService();

  // The process-wide monitor over systemHotKeyService(), created on first use;
  // nothing when no service was set by then.
  static std::shared_ptr<KivShortcutMonitor> sharedMonitor();

  // A monitor of its own over `service`; nothing without a service.
  static std::shared_ptr<KivShortcutMonitor> create(std::shared_ptr<platform::HotKeyService> service);

  ~KivShortcutMonitor();
  KivShortcutMonitor(const KivShortcutMonitor&) = delete;
  KivShortcutMonitor& operator=(const KivShortcutMonitor&) = delete;

  bool registerShortcut(const KivShortcut& shortcut, std::function<void()> action);
  void unregisterShortcut(const std::optional<KivShortcut>& shortcut);
  void unregisterAllShortcuts();
  bool isShortcutRegistered(const KivShortcut& shortcut) const;

  void handleEvent(const platform::HotKeyId& id);

 private:
  explicit KivShortcutMonitor(std::shared_ptr<platform::HotKeyService> service);

  std::shared_ptr<platform::HotKeyService> service_;
  std::unordered_map<KivShortcut, std::unique_ptr<KivHotKey>> hotKeys_;
};

}  // namespace ostrel
