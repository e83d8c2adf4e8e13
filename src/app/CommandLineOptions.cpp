#include "app/CommandLineOptions.h"

#include "common/Version.h"

#include <cstdio>

namespace ostrel {
namespace {

const QString kMinimized = QStringLiteral("--minimized");

bool isHelp(const QString& argument) {
  return argument == QLatin1String("-h") || argument == QLatin1String("--help");
}

void write(std::FILE* stream, const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  std::fflush(stream);
}

}  // namespace

CommandLineOptions CommandLineOptions::parse(const QStringList& arguments) {
  CommandLineOptions options;
  options.arguments_ = arguments;
  bool version = false;
  for (const QString& argument : arguments) {
    if (isHelp(argument)) {
      options.action_ = Action::Help;
      return options;
    }
    if (argument == QLatin1String("--version")) {
      version = true;
    } else if (argument == kMinimized) {
      options.minimized_ = true;
    } else if (argument.startsWith(QLatin1String("--")) && options.error_.isEmpty()) {
      options.error_ = QStringLiteral("unknown option \"%1\"").arg(argument);
    }
  }
  if (version) {
    options.action_ = Action::Version;
  } else if (!options.error_.isEmpty()) {
    options.action_ = Action::Refuse;
  }
  return options;
}

CommandLineOptions CommandLineOptions::parse(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return parse(arguments);
}

std::optional<int> CommandLineOptions::answer() const {
  switch (action_) {
    case Action::Run:
      return std::nullopt;
    case Action::Help:
      write(stdout, helpText());
      return 0;
    case Action::Version:
      write(stdout, versionText());
      return 0;
    case Action::Refuse:
      write(stderr, usageErrorText(error_));
      return 2;
  }
  return std::nullopt;
}

std::optional<int> CommandLineOptions::refuseLeftovers(const QStringList& remaining) {
  for (const QString& argument : remaining) {
    if (argument == kMinimized) continue;
    write(stderr,
          usageErrorText(argument.startsWith(u'-') ? QStringLiteral("unknown option \"%1\"").arg(argument)
                                                   : QStringLiteral("unexpected argument \"%1\"").arg(argument)));
    return 2;
  }
  return std::nullopt;
}

QString CommandLineOptions::versionText() {
  return QStringLiteral("ostrel %1\n").arg(QLatin1String(kOstrelVersion));
}

QString CommandLineOptions::usageErrorText(const QString& message) {
  return QStringLiteral("ostrel: %1\nTry 'ostrel --help'.\n").arg(message);
}

QString CommandLineOptions::helpText() {
  return QStringLiteral(
      "Usage: ostrel [--minimized]\n"
      "Show and change the settings of an e-paper monitor on a serial port: contrast,\n"
      "image mode, refresh speed and front light; clear its ghost images with a fast\n"
      "refresh; pass the monitor's own keys and pointer on to the desktop. Only one\n"
      "Ostrel runs in a session: starting it again brings the running one to the front.\n"
      "\n"
      "Options:\n"
      "  --minimized   start with the window minimised (the login helper starts\n"
      "                Ostrel so); a running Ostrel is left as it is\n"
      "  -h, --help    show this help\n"
      "  --version     show the version\n"
      "Qt's own options with a single dash (-platform NAME, -display DISPLAY, ...)\n"
      "are passed on to Qt.\n"
      "\n"
      "Exit status:\n"
      "  0  Ostrel was closed, or the Ostrel already running took over\n"
      "  1  no graphical session (X11 or Wayland), or the Ostrel already running\n"
      "     did not answer\n"
      "  2  bad command line\n"
      "\n"
      "ostrelctl controls the monitor from scripts and keybindings.\n");
}

}  // namespace ostrel
