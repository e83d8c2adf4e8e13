#include "app/PlatformServices.h"

#include "app/OwnKeybindingsChoice.h"
#include "common/DesktopServices.h"
#include "common/Log.h"
#include "platform/portal/PortalPlatform.h"
#include "platform/wayland/WaylandPlatform.h"
#include "platform/x11/X11Platform.h"
#include "shortcuts/KivShortcut.h"
#include "shortcuts/KivShortcutMonitor.h"

#include <QDBusConnection>
#include <QGuiApplication>

namespace ostrel {
namespace {

const char* const kBindOstrelctlInstead =
    "; bind `ostrelctl refresh`, `ostrelctl contrast up` and `ostrelctl contrast down` in the desktop's own "
    "keyboard settings instead";

void unavailable(DesktopService service, const QString& why) {
  DesktopServices::shared().setState(service, {QString(), why});
}

}  // namespace

SessionKind PlatformServices::sessionKind() {
  const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                       qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
  return wayland ? SessionKind::Wayland : SessionKind::X11;
}

void PlatformServices::chooseQtPlatform() {
  // Qt 6.4 picks xcb unless told otherwise (and ignores the session type on
  // GNOME); xcb stays the fallback should the compositor refuse.
  if (sessionKind() == SessionKind::Wayland && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "wayland;xcb");
  }
}

PlatformServices::PlatformServices() : kind_(sessionKind()) {
  if (kind_ == SessionKind::Wayland) {
    choosePortals();
  } else {
    chooseX11();
  }
}

void PlatformServices::chooseX11() {
  // The monitor's keys, the pointer and global shortcuts need an X11 session;
  // without one Ostrel still works from its window.
  if (platform::x11SessionAvailable(&whyNoKeyMonitor_)) {
    injector_ = platform::createX11InputInjector(&whyNoInjector_);
    keyMonitor_ = platform::createX11GlobalKeyMonitor(&whyNoKeyMonitor_);
    if (keyMonitor_ && isGnomeSession()) keyMonitor_ = leaveGnomesKeysToGnome(std::move(keyMonitor_));
  } else {
    whyNoInjector_ = whyNoKeyMonitor_;
  }
  const QString display = qEnvironmentVariable("DISPLAY");
  if (injector_) {
    log("The monitor's keys and pointer go through XTest on the X display %@", display);
    DesktopServices::shared().setState(
        DesktopService::Input, {QStringLiteral("x11"), QStringLiteral("XTest on the X display %1").arg(display)});
  } else {
    unavailable(DesktopService::Input, whyNoInjector_);
  }
  if (keyMonitor_) {
    log("Global shortcuts go through the X11 key monitor (XInput2) on the X display %@", display);
    DesktopServices::shared().setState(
        DesktopService::Shortcuts,
        {QStringLiteral("x11"), QStringLiteral("XInput2 key monitor on the X display %1").arg(display)});
  } else {
    unavailable(DesktopService::Shortcuts, whyNoKeyMonitor_);
  }
}

void PlatformServices::choosePortals() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  platform::registerWithPortal(bus, QGuiApplication::desktopFileName());
  // GNOME before 48 has no portal of its own for the shortcuts (whatever the
  // interface's presence says): its custom shortcuts run ostrelctl instead.
  if (const std::optional<QString> whyNotPortal = whyNotGnomePortal(bus)) {
    QString whyNoGnome;
    gnomeShortcuts_ = keepGnomeShortcuts(*whyNotPortal, &whyNoGnome);
    whyNoKeyMonitor_ =
        *whyNotPortal + (gnomeShortcuts_ ? QStringLiteral("; GNOME's custom shortcuts run ostrelctl instead")
                                         : QStringLiteral(", and ") + whyNoGnome);
  } else {
    keyMonitor_ = platform::createPortalGlobalKeyMonitor(bus, &whyNoKeyMonitor_);
  }
  if (keyMonitor_) {
    log("Global shortcuts go through the desktop's GlobalShortcuts portal; the desktop assigns their keys");
  } else if (!gnomeShortcuts_) {
    whyNoKeyMonitor_ += QLatin1String(kBindOstrelctlInstead);
    unavailable(DesktopService::Shortcuts, whyNoKeyMonitor_);
    offerCompositorKeybindings();
  }
  chooseWaylandInput(bus);
}

void PlatformServices::chooseWaylandInput(const QDBusConnection& bus) {
  // A compositor that gives any client a virtual keyboard and pointer (the
  // wlroots family) needs no portal for them. A RemoteDesktop portal there is
  // at best a second way in, and at worst another desktop's backend the
  // portal fell back to (KDE's, on sway, where it can reach nothing).
  QString noVirtualInput;
  injector_ = platform::createWaylandInputInjector(&noVirtualInput);
  if (injector_) {
    log("The monitor's keys and pointer go through the Wayland compositor's virtual keyboard and pointer; nothing "
        "is asked");
    return;
  }
  injector_ = platform::createPortalInputInjector(bus, &whyNoInjector_);
  if (injector_) {
    log("The monitor's keys and pointer go through the desktop's RemoteDesktop portal; the desktop is asked when a "
        "monitor connects");
  } else {
    whyNoInjector_ += QStringLiteral("; ") + noVirtualInput;
    unavailable(DesktopService::Input, whyNoInjector_);
  }
}

void PlatformServices::installShortcutServices() {
  // Key names follow the X keymap; under Xwayland it is the compositor's.
  QString noX11;
  const bool x11 = platform::x11SessionAvailable(&noX11);
  if (x11) {
    std::shared_ptr<platform::KeyboardLayout> layout = platform::createX11KeyboardLayout(&noX11);
    if (layout) {
      KivShortcut::setKeyboardLayout(layout);
    } else {
      log("Shortcut keys are shown without their keyboard layout names: %@", noX11);
    }
  } else if (kind_ == SessionKind::Wayland) {
    log("Shortcut keys are shown without their keyboard layout names: they come from XWayland's keymap, and this "
        "session has no XWayland display");
  }
  // Recording refuses combinations another X client holds. A Wayland client
  // cannot know what the desktop or other programs hold: there the desktop's
  // answer decides, and the recorder checks Ostrel's own menus only.
  if (kind_ != SessionKind::X11 || !x11) return;
  QString noHotKeys;
  std::shared_ptr<platform::HotKeyService> hotKeys = platform::createX11HotKeyService(&noHotKeys);
  if (hotKeys) {
    KivShortcutMonitor::setSystemHotKeyService(hotKeys);
  } else {
    log("Shortcuts other programs hold can't be recognised: %@", noHotKeys);
  }
}

}  // namespace ostrel
