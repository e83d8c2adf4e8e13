#include "AppDelegate.h"

#include "common/Log.h"
#include "common/Version.h"
#include "loginitem/InstallLayout.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <optional>

namespace {

// Asked what it is, the helper answers instead of starting Ostrel.
std::optional<QString> answerFor(const QStringList& arguments) {
  if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
    return QStringLiteral(
        "Usage: ostrelkick\n"
        "Ostrel's login helper. The session starts it at login through its autostart\n"
        "entry (VELDOR.Ostrelkick.desktop, made by Ostrel's \"Start at Login\" item or\n"
        "`ostrelctl autostart on`). It starts Ostrel minimised (ostrel --minimized)\n"
        "unless Ostrel already runs in the session, and exits.\n"
        "\n"
        "Options:\n"
        "  -h, --help   show this help\n"
        "  --version    show the version\n"
        "\n"
        "Exit status:\n"
        "  0  Ostrel was started, or was running already\n"
        "  1  Ostrel could not be started\n");
  }
  if (arguments.contains(QLatin1String("--version")))
    return QStringLiteral("ostrelkick %1\n").arg(QLatin1String(ostrel::kOstrelVersion));
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  // The application object comes first so that the log lines carry the
  // helper's own name rather than the fallback.
  QCoreApplication app(argc, argv);
  if (const std::optional<QString> answer = answerFor(QCoreApplication::arguments().mid(1))) {
    std::fputs(answer->toLocal8Bit().constData(), stdout);
    return 0;
  }
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
