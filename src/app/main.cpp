// Ostrel's process entry: the application object, the main window and the shell.

#include "app/AppDelegate.h"
#include "app/MainWindowControlTarget.h"
#include "app/PlatformServices.h"
#include "app/TerminationSignals.h"
#include "common/Log.h"
#include "control/OstrelControlService.h"
#include "control/SingleInstance.h"
#include "mainwindow/ViewController.h"
#include "monitor/MonitorState.h"
#include "settings/window/TestSecondView.h"
#include "shortcuts/view/KivMenuBarAdapter.h"

#include <QApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMetaObject>

int main(int argc, char* argv[]) {
  ostrel::PlatformServices::chooseQtPlatform();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ostrel"));
  QApplication::setOrganizationName(QStringLiteral("VELDOR"));
  QApplication::setDesktopFileName(QStringLiteral("VELDOR.Ostrel"));
  // The application ends when the main window closes, not when the last of any
  // window does (a settings window or message box may be the last one open).
  QApplication::setQuitOnLastWindowClosed(false);
  const ostrel::TerminationSignals endInOrder;

  // Session-bus control (ostrelctl, keybindings): one Ostrel per session. A
  // second launch raises the first one's window and ends here, before it could
  // touch a serial port.
  ostrel::OstrelControlService control;
  if (const auto status = ostrel::SingleInstance::exitStatus(
          ostrel::SingleInstance::claim(control, QDBusConnection::sessionBus())))
    return *status;

  // The monitor's keys and pointer and the global shortcuts: X11 or the
  // desktop's portals; without them Ostrel still works from its window.
  ostrel::PlatformServices platform;

  auto controller = std::make_shared<ostrel::ViewController>(platform.injector(), platform.whyNoInjector());
  controller->viewDidLoad();
  controller->window()->show();
  controller->viewDidAppear();
  control.setTarget(std::make_shared<ostrel::MainWindowControlTarget>(controller));

  // Recording shortcuts names keys after the keyboard layout and refuses
  // combinations another X client holds or one of Ostrel's menus uses.
  platform.installShortcutServices();
  ostrel::KivMenuBarAdapter::registerAsMainMenu(controller->window()->menuBar());
  controller->setSettingsPresenter(
      [mainWindow = controller->window()] { ostrel::TestSecondView::presentFrom(mainWindow); });

  ostrel::AppDelegate delegate(controller->window(), platform.takeKeyMonitor(), platform.whyNoKeyMonitor());
  delegate.applicationDidFinishLaunching();
  QObject::connect(&app, &QCoreApplication::aboutToQuit, [&delegate] { delegate.applicationWillTerminate(); });

  const int status = app.exec();
  // The window goes while the application object still exists; nothing else
  // is torn down.
  controller->window()->hide();
  ostrel::VCInstance.reset();
  ostrel::mainViewController.reset();
  return status;
}
