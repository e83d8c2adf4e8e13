#include "GnomeDesktop.h"

#include "support/ChildProcess.h"

#include <QFile>
#include <QStringList>
#include <thread>

namespace ostrel::test {

using namespace std::chrono_literals;

std::optional<std::string> missingGnome() {
  const QString missing = qEnvironmentVariable("OSTREL_WAYLAND_MISSING");
  if (missing.isEmpty()) return std::nullopt;
  return "the headless GNOME session is not installed here (missing: " + missing.toStdString() + ")";
}

bool everyTestMustRun() {
  return qEnvironmentVariable("OSTREL_REQUIRE_ALL_TESTS") == QLatin1String("1");
}

namespace {

QStringList daemonLog() {
  QFile file(qEnvironmentVariable("OSTREL_TEST_SCRATCH") + QStringLiteral("/gsd-media-keys.log"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
}

}  // namespace

bool waitForGrab(const QString& path, std::chrono::milliseconds timeout) {
  // With G_MESSAGES_DEBUG its log says "Adding new custom key binding PATH"
  // for an entry it takes up and "Grab call completed!" once the shell has
  // answered its grab.
  const auto deadline = MonotonicClock::now() + timeout;
  while (MonotonicClock::now() < deadline) {
    const QStringList lines = daemonLog();
    qsizetype added = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
      if (lines[i].contains(QStringLiteral("Adding new custom key binding ") + path)) added = i;
    }
    for (qsizetype i = added + 1; added >= 0 && i < lines.size(); ++i) {
      if (lines[i].contains(QLatin1String("Grab call completed!"))) return true;
    }
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

QString dconfDump(const QString& path) {
  ChildProcess dconf;
  QString error;
  if (!dconf.start(QStringLiteral("/usr/bin/dconf"), {QStringLiteral("dump"), path}, &error)) return error;
  dconf.waitForExit(30s);
  dconf.waitForEndOfStreams(10s);
  QString text;
  for (const StampedLine& l : dconf.lines(ChildStream::Output)) text += QString::fromUtf8(l.text) + '\n';
  return text;
}

}  // namespace ostrel::test
