#pragma once
// Which backend serves the desktop services Ostrel needs beyond its window,
// chosen once at start from the kind of session:
//
//  - Wayland session (WAYLAND_DISPLAY set or XDG_SESSION_TYPE=wayland, whether
//    Qt draws through `wayland` or through Xwayland): the global shortcuts go
//    through the GlobalShortcuts portal; the monitor's keys and pointer
//    through the compositor's virtual keyboard and pointer where it offers
//    both (wlroots compositors), else through the RemoteDesktop portal. Under
//    Xwayland the X11 backends would see and reach only X clients, so they
//    are not used there.
//    On GNOME before 48 the shortcuts go through GNOME's own custom shortcuts
//    instead (app/OwnKeybindingsChoice.h), even where a portal offers the
//    interface; on a compositor without the portal the settings window shows
//    the lines for its configuration.
//  - Otherwise (an X11 session): the X11 backends, as they always were.
//
// What serves each service, or why nothing does, is logged once (for a service
// nothing serves, by whoever would use it: the main window for the input, the
// application shell for the shortcuts) and kept in DesktopServices for
// `ostrelctl status`.
//
// Main thread, after the QApplication exists (except chooseQtPlatform()).

#include "keybindings/GnomeShortcutsKeeper.h"
#include "platform/GlobalKeyMonitor.h"
#include "platform/InputInjector.h"

#include <QString>
#include <memory>

class QDBusConnection;

namespace ostrel {

enum class SessionKind { X11, Wayland };

class PlatformServices {
 public:
  static SessionKind sessionKind();

  // Before the QApplication: in a Wayland session Qt draws through its
  // `wayland` platform plugin (falling back to xcb) unless the user chose a
  // platform (QT_QPA_PLATFORM).
  static void chooseQtPlatform();

  // Chooses and creates the input injector and the global key monitor.
  PlatformServices();

  SessionKind kind() const { return kind_; }
  std::shared_ptr<platform::InputInjector> injector() const { return injector_; }
  QString whyNoInjector() const { return whyNoInjector_; }
  std::unique_ptr<platform::GlobalKeyMonitor> takeKeyMonitor() { return std::move(keyMonitor_); }
  // The key monitor sees every key on the desktop (X11), not only the
  // shortcuts the desktop bound for Ostrel. Ask before takeKeyMonitor().
  bool keyMonitorSeesEveryKey() const { return kind_ == SessionKind::X11 && keyMonitor_ != nullptr; }
  QString whyNoKeyMonitor() const { return whyNoKeyMonitor_; }

  // What the shortcut recorder needs: key names after the keyboard layout and,
  // on X11, the check for combinations another client holds. On Wayland there
  // is no such check: the desktop decides which keys Ostrel gets.
  void installShortcutServices();

 private:
  void chooseX11();
  void choosePortals();
  void chooseWaylandInput(const QDBusConnection& bus);

  SessionKind kind_;
  std::shared_ptr<platform::InputInjector> injector_;
  QString whyNoInjector_;
  std::unique_ptr<platform::GlobalKeyMonitor> keyMonitor_;
  QString whyNoKeyMonitor_;
  std::unique_ptr<GnomeShortcutsKeeper> gnomeShortcuts_;
};

}  // namespace ostrel
