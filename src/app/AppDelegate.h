#pragma once
// The application shell: the three user shortcuts (watched system-wide and
// inside Ostrel), the end of the application when the main window closes, and
// the start-at-login operations.
//
// The system-wide monitor sees presses in every application; the local monitor
// (an application-wide event filter) sees Ostrel's own and never takes them from
// the focused control. While Ostrel has keyboard focus the system-wide monitor
// stays silent, so one press triggers its actions once.

#include "loginitem/LoginJobs.h"
#include "platform/GlobalKeyMonitor.h"

#include <QObject>
#include <cstdint>
#include <memory>

class QMainWindow;

namespace ostrel {

class DesktopShortcutBinding;

enum class KeyMonitorKind { Global, Local };

class AppDelegate : public QObject {
  Q_OBJECT

 public:
  // globalMonitor may be null (no X11): global shortcuts are then unavailable.
  AppDelegate(QMainWindow* mainWindow, std::unique_ptr<platform::GlobalKeyMonitor> globalMonitor,
              QString globalMonitorUnavailableReason = {});
  ~AppDelegate() override;

  void applicationDidFinishLaunching();
  void registerABC();
  void closeWindow();
  void applicationWillTerminate();

  // Matching, the same for both monitors: flags AND 0xFFFF0000 must equal a
  // shortcut's flags exactly and the key code AND 0xFFFF its key code; the three
  // shortcuts are tested independently, in order. Returns how many matched.
  static int matchShortcut(std::uint16_t keyCode, std::uint32_t modifierFlags, KeyMonitorKind kind);

  // Start at login.
  bool isStartAtLogin() const;
  bool setStartAtLogin(bool startAtLogin);
  // Class side: the state of the "testHelper" login item, which is not the one
  // setStartAtLogin2() switches (see loginitem/StartAtLogin.h).
  static bool isStartAtLogin(const LoginJobs& jobs);
  static bool setStartAtLogin2(bool startAtLogin);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QMainWindow* mainWindow_;
  std::unique_ptr<platform::GlobalKeyMonitor> globalMonitor_;
  // Declared after the monitor it tells about the shortcuts, so it goes first.
  std::unique_ptr<DesktopShortcutBinding> shortcutBinding_;
  QString globalMonitorUnavailableReason_;
  bool terminating_ = false;
};

}  // namespace ostrel
