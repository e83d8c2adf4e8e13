// Ostrel's process entry: the application object, the main window and the shell.

#include "app/AppDelegate.h"
#include "app/CommandLineOptions.h"
#include "app/GraphicalSession.h"
#include "app/IdleSourceChooser.h"
#include "app/MainWindowControlTarget.h"
#include "app/PlatformServices.h"
#include "app/StartAtLoginItems.h"
#include "app/TerminationSignals.h"
#include "app/TrayIcon.h"
#include "common/Log.h"
#include "control/BusTypesFirst.h"
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
#include <cstdio>

int main(int argc, char* argv[]) {
  // --help and --version need no display; without a graphical session, say so
  // before Qt's platform plugin gives up with its own advice.
  const ostrel::CommandLineOptions options = ostrel::CommandLineOptions::parse(argc, argv);
  if (const auto status = options.answer()) return *status;
  if (const auto missing = ostrel::missingGraphicalSession(options.arguments())) {
    std::fputs(missing->toLocal8Bit().constData(), stderr);
    return 1;
  }
  // Before Qt's platform plugin or the control service open a bus connection.
  ostrel::registerBusTypesBeforeFirstConnection();
  ostrel::PlatformServices::chooseQtPlatform();
  QApplication app(argc, argv);
  if (const auto status = ostrel::CommandLineOptions::refuseLeftovers(QCoreApplication::arguments().mid(1)))
    return *status;
  QApplication::setWindowIcon(ostrel::TrayIcon::ostrelIcon());
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
  if (const auto status = ostrel::SingleInstance::exitStatus(ostrel::SingleInstance::claim(
          control, QDBusConnection::sessionBus(),
          options.minimized() ? ostrel::HandOver::Quietly : ostrel::HandOver::ShowWindow)))
    return *status;

  // The monitor's keys and pointer and the global shortcuts: X11 or the
  // desktop's portals; without them Ostrel still works from its window.
  ostrel::PlatformServices platform;

  auto controller = std::make_shared<ostrel::ViewController>(platform.injector(), platform.whyNoInjector());
  // Auto Clear rests while nobody is there; the keyboard's page keys count as
  // page turns where Ostrel sees every key.
  controller->setIdleSources(ostrel::chooseIdleSources(platform.kind()));
  controller->setKeyboardPageTurns(platform.keyMonitorSeesEveryKey());
  controller->viewDidLoad();
  // Started at login, the window stays out of the way until asked for.
  if (options.minimized()) {
    controller->window()->showMinimized();
  } else {
    controller->window()->show();
  }
  controller->viewDidAppear();
  auto windowTarget = std::make_shared<ostrel::MainWindowControlTarget>(controller);
  control.setTarget(windowTarget);
  control.setRefreshSettingsTarget(windowTarget);

  // Start at login from the Ostrel menu, the tray and the bus alike; the tray
  // once the desktop shows one.
  const auto startAtLogin = ostrel::StartAtLoginSwitch::forThisProcess();
  control.setStartAtLoginSwitch(startAtLogin);
  ostrel::StartAtLoginItems startAtLoginItems(startAtLogin);
  startAtLoginItems.add(controller->startAtLoginAction(), controller->ostrelMenu());
  const auto tray = ostrel::TrayIcon::forWindow(controller, windowTarget, startAtLoginItems);
  tray->start(QDBusConnection::sessionBus());

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
