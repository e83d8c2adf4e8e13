#include "app/AppDelegate.h"

#include "app/DesktopShortcutBinding.h"
#include "common/DesktopServices.h"
#include "common/Log.h"
#include "common/MainThread.h"
#include "loginitem/LoginItemController.h"
#include "loginitem/StartAtLogin.h"
#include "mainwindow/ViewController.h"
#include "platform/x11/KeyCodeMap.h"
#include "platform/x11/X11Modifiers.h"
#include "settings/ProgramValues.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMainWindow>

namespace ostrel {

namespace {

struct ShortcutSlot {
  const std::uint32_t& keyCode;
  const std::uint32_t& flags;
  const char* globalLine;
  const char* localLine;
  void (ViewController::*action)();
};

}  // namespace

AppDelegate::AppDelegate(QMainWindow* mainWindow, std::unique_ptr<platform::GlobalKeyMonitor> globalMonitor,
                         QString globalMonitorUnavailableReason)
    : mainWindow_(mainWindow),
      globalMonitor_(std::move(globalMonitor)),
      globalMonitorUnavailableReason_(std::move(globalMonitorUnavailableReason)) {}

AppDelegate::~AppDelegate() {
  if (globalMonitor_) globalMonitor_->stop();
  if (qApp) qApp->removeEventFilter(this);
}

void AppDelegate::applicationDidFinishLaunching() {
  log("applicationDidFinishLaunching");
  registerABC();
  // Only the main window ends Ostrel: the settings window and message boxes come
  // and go without taking the application with them.
  if (mainWindow_) mainWindow_->installEventFilter(this);
}

void AppDelegate::registerABC() {
  if (globalMonitor_) {
    shortcutBinding_ = std::make_unique<DesktopShortcutBinding>(*globalMonitor_);
    QString whyNot;
    const bool started = globalMonitor_->start(
        [](const platform::KeyPress& press) {
          // Page Up and Page Down anywhere are page turns; no other key is kept.
          if (const auto controller = VCInstance) controller->keyboardKeyPressed(press.virtualKeyCode);
          // Ostrel's own presses belong to the local monitor; counting them here
          // too would run every action twice. A key the desktop took away as a
          // bound shortcut never reached Ostrel's window, though.
          if (QGuiApplication::focusWindow() && !press.takenFromFocus) return;
          matchShortcut(press.virtualKeyCode, press.modifierFlags, KeyMonitorKind::Global);
        },
        &whyNot);
    if (!started) {
      log("Global shortcuts are unavailable: %@", whyNot);
      DesktopServices::shared().setState(DesktopService::Shortcuts, {QString(), whyNot});
      shortcutBinding_.reset();
      globalMonitor_.reset();
    }
  } else {
    log("Global shortcuts are unavailable: %@", globalMonitorUnavailableReason_.isEmpty()
                                                     ? QStringLiteral("no X11 display")
                                                     : globalMonitorUnavailableReason_);
  }
  qApp->installEventFilter(this);
}

int AppDelegate::matchShortcut(std::uint16_t keyCode, std::uint32_t modifierFlags, KeyMonitorKind kind) {
  const std::uint32_t flags = modifierFlags & 0xFFFF0000u;
  if (flags == 0) return 0;
  // The values are read afresh at each press, so a change made in the settings
  // window applies from the next press on.
  const ShortcutSlot slots[] = {
      {RefreshHotkeyKeyCode, RefreshHotkeyModifierFlags, "Press global RefreshHotkey.\n",
       "Press localEvent RefreshHotkey.\n", &ViewController::setFromRefreshShortCutInfo},
      {ThresholdInfoHotkeyKeyCode, ThresholdInfoHotkeyModifierFlags, "Press global ThresholdInfoHotkey.\n",
       "Press localEvent ThresholdInfoHotkey.\n", &ViewController::setFromThresholdShortCutValue},
      {ThresholdDownInfoHotkeyKeyCode, ThresholdDownInfoHotkeyModifierFlags, "Press global ThresholdDownInfoHotkey.\n",
       "Press localEvent ThresholdDownInfoHotkey.\n", &ViewController::setFromThresholdDownShortCutValue},
  };
  int matched = 0;
  for (const ShortcutSlot& slot : slots) {
    if (flags != slot.flags || (keyCode & 0xFFFFu) != slot.keyCode) continue;
    ++matched;
    log(kind == KeyMonitorKind::Global ? slot.globalLine : slot.localLine);
    auto action = slot.action;
    mainthread::post([action] {
      if (auto controller = VCInstance) ((*controller).*action)();
    });
  }
  return matched;
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched && watched->isWidgetType()) {
    // Qt hands a key press to each widget up the parent chain; only the first
    // delivery, to the focus widget, is the user's press.
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == QApplication::focusWidget() || (!QApplication::focusWidget() && watched == mainWindow_)) {
      const auto x11Keycode = key->nativeScanCode();
      if (x11Keycode > 0 && x11Keycode <= platform::x11::kX11MaxKeycode) {
        if (auto code = platform::x11::virtualKeyCodeForX11Keycode(static_cast<std::uint8_t>(x11Keycode))) {
          const std::uint32_t flags =
              platform::x11::programFlagsForXModifiers(static_cast<std::uint16_t>(key->nativeModifiers()));
          matchShortcut(*code, flags, KeyMonitorKind::Local);
        }
      }
    }
  }
  if (event->type() == QEvent::Close && watched == mainWindow_) {
    // Let the window close first, then end the application.
    QMetaObject::invokeMethod(this, [this] { closeWindow(); }, Qt::QueuedConnection);
  }
  return false;  // the local monitor observes; it never takes an event
}

void AppDelegate::closeWindow() {
  if (terminating_) return;
  terminating_ = true;
  QCoreApplication::quit();
}

void AppDelegate::applicationWillTerminate() { log("applicationWillTerminate"); }

bool AppDelegate::isStartAtLogin() const { return StartAtLogin::forThisProcess().isStartAtLogin(); }

bool AppDelegate::setStartAtLogin(bool startAtLogin) {
  return StartAtLogin::forThisProcess().setStartAtLogin(startAtLogin);
}

bool AppDelegate::isStartAtLogin(const LoginJobs& jobs) { return StartAtLogin::isStartAtLogin(jobs); }

bool AppDelegate::setStartAtLogin2(bool startAtLogin) {
  return StartAtLogin::forThisProcess().setStartAtLogin2(startAtLogin);
}

}  // namespace ostrel
