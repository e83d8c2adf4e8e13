#include "AppDelegate.h"

#include "common/Log.h"
#include "loginitem/InstallLayout.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char** argv) {
  // The application object comes first so that the log lines carry the
  // helper's own name rather than the fallback.
  QCoreApplication app(argc, argv);
  ostrel::log("NSApplicationMain >>>>>>>>>>>>>>>>>");
  ostrel::kick::AppDelegate delegate(QCoreApplication::applicationFilePath());
  QObject::connect(&app, &QCoreApplication::aboutToQuit, [&delegate] { delegate.applicationWillTerminate(); });
  QTimer::singleShot(0, &app, [&delegate] {
    delegate.applicationDidFinishLaunching();
    // The session starts the helper only through its autostart entry, and
    // its whole purpose there is to bring Ostrel up.
    delegate.runMainApp(ostrel::InstallLayout::mainIdentifier(), ostrel::InstallLayout::mainExecutableName());
  });
  return app.exec();
}
