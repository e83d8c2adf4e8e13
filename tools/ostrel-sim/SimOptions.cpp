#include "ostrel-sim/SimOptions.h"

#include "common/Version.h"
#include "ostrel-sim/ConsoleCommand.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace ostrel::sim {
namespace {

constexpr int kMaxReplyDelayMs = 60'000;

std::optional<int> decimal(const QString& text) {
  static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
  if (!digits.match(text).hasMatch()) return std::nullopt;
  return text.toInt();
}

}  // namespace

SimOptionsResult parseSimOptions(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "A simulated e-paper monitor on a pseudo-terminal. It appears to Ostrel as a serial port in the "
      "virtual-port directory, answers its commands like the monitor's microcontroller, prints every frame "
      "it receives on standard output and reads console commands from standard input."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
  const QCommandLineOption mcu(
      QStringLiteral("mcu"),
      QStringLiteral("MCU version to report: 16, 32 or 48 (default 48; only 48 has a front light)."),
      QStringLiteral("version"), QStringLiteral("48"));
  const QCommandLineOption name(QStringLiteral("name"),
                                QStringLiteral("Name of the port's link (default ostrel-sim0)."),
                                QStringLiteral("name"), QStringLiteral("ostrel-sim0"));
  const QCommandLineOption notify(QStringLiteral("notify"),
                                  QStringLiteral("Announce every setting change with a notice."));
  const QCommandLineOption delay(QStringLiteral("reply-delay"),
                                 QStringLiteral("Answer commands after MS milliseconds (0-60000)."),
                                 QStringLiteral("ms"), QStringLiteral("0"));
  const QCommandLineOption split(QStringLiteral("split"),
                                 QStringLiteral("Write every message in random pieces with short pauses."));
  const QCommandLineOption prefix(QStringLiteral("report-prefix"),
                                  QStringLiteral("Byte that opens parameter reports: F0 (default) or 00."),
                                  QStringLiteral("00|F0"), QStringLiteral("F0"));
  const QCommandLineOption exitOnEof(QStringLiteral("exit-on-eof"),
                                     QStringLiteral("Exit when standard input ends (default: keep running)."));
  const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed for the random pieces of --split."),
                                QStringLiteral("n"));
  const QCommandLineOption showVersion(QStringLiteral("version"), QStringLiteral("Show the version."));
  parser.addOptions({help, showVersion, mcu, name, notify, delay, split, prefix, exitOnEof, seed});

  SimOptionsResult result;
  if (!parser.parse(arguments)) {
    result.error = parser.errorText();
    return result;
  }
  if (parser.isSet(help)) {
    result.helpText = parser.helpText() + QLatin1Char('\n') + consoleHelp() + QLatin1Char('\n') +
                      QStringLiteral(
                          "\nExit status:\n"
                          "  0  ended by quit, by Ctrl-C or SIGTERM, or at the end of standard input\n"
                          "     with --exit-on-eof\n"
                          "  1  it could not start: no pseudo-terminal, or no port link in the virtual-port\n"
                          "     directory\n"
                          "  2  bad command line\n");
    return result;
  }
  if (parser.isSet(showVersion)) {
    result.versionText = QStringLiteral("ostrel-sim %1\n").arg(QLatin1String(kOstrelVersion));
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    result.error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().front());
    return result;
  }

  SimOptions o;
  const std::optional<int> version = decimal(parser.value(mcu));
  if (!version || (*version != 16 && *version != 32 && *version != 48)) {
    result.error = QStringLiteral("--mcu must be 16, 32 or 48, not \"%1\"").arg(parser.value(mcu));
    return result;
  }
  o.mcuVersion = *version;

  // The name becomes a file in the port directory: keep it to one plain,
  // visible path component.
  static const QRegularExpression safeName(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9._-]{0,63}$"));
  o.name = parser.value(name);
  if (!safeName.match(o.name).hasMatch()) {
    result.error =
        QStringLiteral("--name must be 1-64 letters, digits, '.', '_' or '-', not starting with '.', not \"%1\"")
            .arg(o.name);
    return result;
  }

  const std::optional<int> ms = decimal(parser.value(delay));
  if (!ms || *ms > kMaxReplyDelayMs) {
    result.error = QStringLiteral("--reply-delay must be a number of milliseconds from 0 to %1, not \"%2\"")
                       .arg(kMaxReplyDelayMs)
                       .arg(parser.value(delay));
    return result;
  }
  o.replyDelayMs = *ms;

  const QString prefixText = parser.value(prefix).toUpper();
  if (prefixText == QStringLiteral("F0")) {
    o.reportPrefix = ReportPrefix::F0;
  } else if (prefixText == QStringLiteral("00")) {
    o.reportPrefix = ReportPrefix::Zero;
  } else {
    result.error = QStringLiteral("--report-prefix must be F0 or 00, not \"%1\"").arg(parser.value(prefix));
    return result;
  }

  if (parser.isSet(seed)) {
    bool ok = false;
    const uint s = parser.value(seed).toUInt(&ok, 10);
    if (!ok) {
      result.error = QStringLiteral("--seed must be a non-negative decimal number, not \"%1\"").arg(parser.value(seed));
      return result;
    }
    o.seed = s;
  }

  o.notify = parser.isSet(notify);
  o.split = parser.isSet(split);
  o.exitOnEof = parser.isSet(exitOnEof);
  result.options = o;
  return result;
}

}  // namespace ostrel::sim
