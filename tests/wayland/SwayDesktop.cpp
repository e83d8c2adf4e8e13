#include "SwayDesktop.h"

#include "FocusProbe.h"
#include "support/ChildProcess.h"
#include "support/EventLoopWait.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

const QString kProbeTitle = QStringLiteral("ostrel-focus-probe");

// Runs `program` and returns its standard output; empty with `error` when it
// could not run or failed.
std::optional<QByteArray> run(const QString& program, const QStringList& arguments, QString* error) {
  const QString path = QStandardPaths::findExecutable(program);
  ChildProcess child;
  if (path.isEmpty() || !child.start(path, arguments, error)) {
    if (error && path.isEmpty()) *error = program + QStringLiteral(" is not installed");
    return std::nullopt;
  }
  const std::optional<ChildExit> exit = child.waitForExit(30s);
  child.waitForEndOfStreams(10s);
  QByteArray out;
  for (const StampedLine& line : child.lines(ChildStream::Output)) out += line.text + '\n';
  if (!exit || !exit->exited || exit->status != 0) {
    if (error) *error = program + QStringLiteral(" failed: ") + QString::fromUtf8(out);
    return std::nullopt;
  }
  return out;
}

}  // namespace

bool swaymsg(const QStringList& arguments, QString* error) {
  const std::optional<QByteArray> out = run(QStringLiteral("swaymsg"), arguments, error);
  if (!out) return false;
  // One answer per command; a command sway could not carry out says "success": false.
  if (out->contains("\"success\": false")) {
    if (error) *error = QString::fromUtf8(*out);
    return false;
  }
  return true;
}

QString swayConfigFolder() {
  return qEnvironmentVariable("OSTREL_SWAY_CONFIG_DIR");
}

std::optional<QByteArray> swayBindingsForOstrelctl(QString* error) {
  // What a user pastes: ostrelctl's own lines for the recorded shortcuts.
  return run(buildProgram(QStringLiteral("ostrelctl")), {QStringLiteral("keybindings"), QStringLiteral("sway")}, error);
}

bool focusOnSway(FocusProbe& probe) {
  probe.setWindowTitle(kProbeTitle);
  probe.showFullScreen();
  // sway knows the window a moment after Qt mapped it ("No matching node"
  // before), and a window it focuses becomes the active one once Qt hears so.
  QDeadlineTimer deadline(30'000);
  while (!deadline.hasExpired()) {
    QString error;
    if (swaymsg({QStringLiteral("[title=\"^%1$\"]").arg(kProbeTitle), QStringLiteral("focus")}, &error) &&
        runEventLoopUntil([&] { return probe.isActiveWindow(); }, 2'000)) {
      return true;
    }
    runEventLoopFor(100);
  }
  return false;
}

bool compositorOffers(const QString& interface) {
  QString error;
  const std::optional<QByteArray> out = run(QStringLiteral("wayland-info"), {}, &error);
  const QByteArray line = QByteArray("interface: '") + interface.toUtf8() + '\'';
  return out && out->contains(line);
}

}  // namespace ostrel::test
