// ostrelctl: one request to the e-paper monitor, through the running Ostrel or
// directly, for scripts and desktop keybindings. See `ostrelctl --help`.

#include "common/Log.h"
#include "control/BusTypesFirst.h"
#include "loginitem/InstallLayout.h"
#include "ostrelctl/BusClient.h"
#include "ostrelctl/CommandLine.h"
#include "ostrelctl/DirectSession.h"
#include "ostrelctl/KeybindingsCommand.h"
#include "ostrelctl/RefreshSettingsCommand.h"
#include "ostrelctl/StartAtLoginCommand.h"
#include "ostrelctl/StartingOstrel.h"
#include "serial/PelSerialPortManager.h"
#include "settings/PreferenceStore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <variant>

namespace {

void write(std::FILE* stream, const QString& text) {
  if (text.isEmpty()) return;
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  std::fflush(stream);
}

int finish(const ostrel::ctl::CtlOutcome& outcome) {
  write(stdout, outcome.output);
  write(stderr, outcome.error);
  return static_cast<int>(outcome.code);
}

}  // namespace

int main(int argc, char* argv[]) {
  ostrel::registerBusTypesBeforeFirstConnection();
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("ostrelctl"));
  QCoreApplication::setOrganizationName(QStringLiteral("VELDOR"));

  using namespace ostrel::ctl;
  const auto parsed = parseCommandLine(QCoreApplication::arguments().mid(1));
  if (const auto* error = std::get_if<UsageError>(&parsed)) {
    write(stderr, usageErrorText(*error));
    return static_cast<int>(ExitCode::Usage);
  }
  const CtlRequest request = std::get<CtlRequest>(parsed);
  if (request.command == CtlCommand::Help) {
    write(stdout, helpText());
    return static_cast<int>(ExitCode::Done);
  }
  if (request.command == CtlCommand::Version) {
    write(stdout, versionText());
    return static_cast<int>(ExitCode::Done);
  }

  // The desktop's own keybindings: no monitor and no Ostrel needed.
  if (isKeybindingsCommand(request.command)) {
    CtlOutcome outcome;
    QStringList diagnostics;
    {
      ostrel::LogCapture capture(true);
      outcome = runKeybindingsCommand(request, QCoreApplication::applicationFilePath());
      diagnostics = capture.lines();
    }
    if (request.verbose && !diagnostics.isEmpty())
      write(stderr, diagnostics.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    return finish(outcome);
  }

  // A connection of our own, closed before the application object goes: the
  // bus thread must not still be unpacking a late message while Qt's types are
  // torn down at exit.
  const QString connectionName = QStringLiteral("ostrelctl");
  std::optional<CtlOutcome> viaOstrel;
  {
    const QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    const auto throughOstrel = [&bus, &request]() -> std::optional<CtlOutcome> {
      if (isStartAtLoginCommand(request.command)) return startAtLoginThroughOstrel(bus, request);
      if (isRefreshSettingsCommand(request.command)) return refreshSettingsThroughOstrel(bus, request);
      return BusClient(bus).run(request);
    };
    viaOstrel = throughOstrel();
    if (!viaOstrel) {
      // An Ostrel that is starting gets its moment: working directly now would
      // take the monitor's port from under it.
      const auto said = [&request](const QString& text) {
        if (request.verbose) write(stderr, text);
      };
      bool answered = false;
      viaOstrel = awaitStartingOstrel(bus, request, said, &answered);
      if (answered) viaOstrel = throughOstrel();
    }
  }
  QDBusConnection::disconnectFromBus(connectionName);
  if (viaOstrel) return finish(*viaOstrel);
  // Start at login needs no monitor: the Ostrel installed beside ostrelctl.
  if (isStartAtLoginCommand(request.command)) {
    CtlOutcome outcome;
    QStringList diagnostics;
    {
      ostrel::LogCapture capture(true);
      outcome = startAtLoginDirectly(
          QCoreApplication::applicationDirPath() + QLatin1Char('/') + ostrel::InstallLayout::mainExecutableName(),
          request);
      diagnostics = capture.lines();
    }
    if (request.verbose && !diagnostics.isEmpty())
      write(stderr, diagnostics.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    return finish(outcome);
  }

  // Ostrel's own settings need no monitor: its settings file, for its next start.
  if (isRefreshSettingsCommand(request.command)) {
    CtlOutcome outcome;
    QStringList diagnostics;
    {
      ostrel::LogCapture capture(true);
      outcome = refreshSettingsDirectly(ostrel::PreferenceStore::standard(), request);
      diagnostics = capture.lines();
    }
    if (request.verbose && !diagnostics.isEmpty())
      write(stderr, diagnostics.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    return finish(outcome);
  }

  // Ostrel's diagnostic log and its "port was opened" notice would otherwise
  // mix into what scripts read; they are kept and shown only with --verbose.
  CtlOutcome outcome;
  QStringList diagnostics;
  {
    ostrel::LogCapture capture(true);
    {
      DirectSession session;
      outcome = session.run(request);
    }
    // Closing the ports logs too; done here, it stays inside the capture.
    ostrel::PelSerialPortManager::sharedSerialPortManager().cleanupAllPortsForExit();
    diagnostics = capture.lines() + capture.noticeLines();
  }
  if (request.verbose) write(stderr, diagnostics.join(QLatin1Char('\n')) + QLatin1Char('\n'));
  return finish(outcome);
}
