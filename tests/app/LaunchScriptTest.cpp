// `make run` with the real Ostrel: scripts/run-ostrel.sh brings the monitor
// simulator along only when the machine has no serial device, Ostrel finds
// and reads back that simulated monitor, and ending Ostrel ends the simulator.
#include "WindowCloser.h"
#include "support/ChildProcess.h"
#include "support/OstrelProcess.h"
#include "support/PseudoTerminal.h"
#include "support/SimulatedMonitor.h"

#include <glob.h>
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <thread>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

bool machineHasSerialDevices() {
  for (const char* pattern : {"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/serial/by-id/*"}) {
    glob_t g{};
    const bool found = ::glob(pattern, 0, nullptr, &g) == 0 && g.gl_pathc > 0;
    ::globfree(&g);
    if (found) return true;
  }
  return false;
}

QString launcher() {
  QString source = qEnvironmentVariable("OSTREL_SOURCE_DIR");
  if (source.isEmpty()) source = QStringLiteral(OSTREL_TEST_SOURCE_DIR);
  return source + QStringLiteral("/scripts/run-ostrel.sh");
}

QString binDirectory() {
  return QFileInfo(buildProgram(QStringLiteral("ostrel"))).absolutePath();
}

// The processes whose parent is `parent`, with their command names.
std::vector<std::pair<pid_t, QByteArray>> childrenOf(pid_t parent) {
  std::vector<std::pair<pid_t, QByteArray>> out;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool number = false;
    const pid_t pid = entry.toInt(&number);
    if (!number) continue;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray text = stat.readAll();
    const qsizetype open = text.indexOf('('), close = text.lastIndexOf(')');
    if (open < 0 || close < 0) continue;
    const QList<QByteArray> rest = text.mid(close + 2).split(' ');
    if (rest.size() > 1 && rest[1].toInt() == parent) out.emplace_back(pid, text.mid(open + 1, close - open - 1));
  }
  return out;
}

std::optional<pid_t> waitForChild(pid_t parent, const QByteArray& name, std::chrono::milliseconds timeout) {
  const auto deadline = MonotonicClock::now() + timeout;
  while (MonotonicClock::now() < deadline) {
    for (const auto& [pid, comm] : childrenOf(parent))
      if (comm == name) return pid;
    std::this_thread::sleep_for(20ms);
  }
  return std::nullopt;
}

bool alive(pid_t pid) {
  return ::kill(pid, 0) == 0;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = MonotonicClock::now() + timeout;
  while (!done()) {
    if (MonotonicClock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

QByteArray simulatorLog() {
  QFile log(QFileInfo(binDirectory()).absolutePath() + QStringLiteral("/ostrel-sim.log"));
  return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

TEST(LaunchScript, WithoutASerialDeviceStartsTheSimulatorWhichOstrelReadsBackAndStopsItWithOstrel) {
  if (machineHasSerialDevices()) GTEST_SKIP() << "this machine has a serial device";
  struct Case {
    const char* name;
    bool closeWindow;  // or SIGTERM to Ostrel
  };
  for (const Case& c : {Case{"window closed", true}, Case{"SIGTERM", false}}) {
    SCOPED_TRACE(c.name);
    ChildProcess script;
    QString error;
    ASSERT_TRUE(script.start(launcher(), {binDirectory()}, &error)) << error.toStdString();
    const QString link = virtualPortDirectory() + QStringLiteral("/ostrel-sim0");
    ASSERT_TRUE(script
                    .waitForLine(
                        ChildStream::Output,
                        [&](const QByteArray& line) {
                          return line ==
                                 "No serial device found: started the monitor simulator (ostrel-sim --mcu 48) "
                                 "on " +
                                     link.toUtf8() + '.';
                        },
                        20s)
                    .has_value());
    const auto ostrel = waitForChild(script.pid(), "ostrel", 10s);
    const auto simulator = waitForChild(script.pid(), "ostrel-sim", 10s);
    ASSERT_TRUE(ostrel && simulator);
    // Ostrel found the simulated monitor and read all of its parameters back.
    EXPECT_TRUE(waitUntil([] { return simulatorLog().contains(commandFrame(10, 8)); }, 30s)) << simulatorLog().data();

    if (c.closeWindow) {
      QByteArray out;
      ASSERT_TRUE(xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                           QStringLiteral("--pid"), QString::number(*ostrel)},
                          &out));
      ASSERT_TRUE(requestWindowClose(QString::fromLatin1(out.trimmed().split('\n').front())));
    } else {
      ASSERT_EQ(::kill(*ostrel, SIGTERM), 0);
    }
    const auto exit = script.waitForExit(20s);
    ASSERT_TRUE(exit.has_value());
    EXPECT_TRUE(exit->exited);
    EXPECT_EQ(exit->status, 0) << "Ostrel ends in order either way";
    EXPECT_TRUE(waitUntil([&] { return !alive(*simulator); }, 10s)) << "the simulator outlived Ostrel";
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    // Ostrel's own log, which the script passes through, ends with the usual line.
    EXPECT_TRUE(script
                    .waitForLine(
                        ChildStream::Error,
                        [](const QByteArray& line) { return logMessage(line) == "applicationWillTerminate"; }, 1s)
                    .has_value());
  }
}

TEST(LaunchScript, WithASerialDevicePresentStartsOstrelAlone) {
  PseudoTerminal device;  // an adapter, as far as the launcher and Ostrel can tell
  ASSERT_TRUE(device.valid());
  ASSERT_FALSE(device.publish(QStringLiteral("usb-adapter")).isEmpty());
  ChildProcess script;
  QString error;
  ASSERT_TRUE(script.start(launcher(), {binDirectory()}, &error)) << error.toStdString();
  // Ostrel probes the device, so it is Ostrel that runs...
  EXPECT_EQ(device.read(24, 30000), commandFrame(10, 16));
  // ...in the launcher's place, with no simulator beside it.
  QFile comm(QStringLiteral("/proc/%1/comm").arg(script.pid()));
  ASSERT_TRUE(comm.open(QIODevice::ReadOnly));
  EXPECT_EQ(comm.readAll().trimmed(), QByteArray("ostrel"));
  EXPECT_TRUE(childrenOf(script.pid()).empty());
  EXPECT_FALSE(QFileInfo(virtualPortDirectory() + QStringLiteral("/ostrel-sim0")).exists());
  for (const StampedLine& line : script.lines(ChildStream::Output)) EXPECT_FALSE(line.text.contains("simulator"));
  ASSERT_TRUE(script.signal(SIGTERM));
  const auto exit = script.waitForExit(20s);
  ASSERT_TRUE(exit.has_value());
  EXPECT_EQ(exit->status, 0);
}

TEST(LaunchScript, InAWaylandSessionTheDesktopEntryIsWrittenForTheRunOnlyWhereNoneIsInstalled) {
  PseudoTerminal device;  // no simulator: Ostrel alone, with its entry
  ASSERT_TRUE(device.valid());
  ASSERT_FALSE(device.publish(QStringLiteral("usb-adapter")).isEmpty());
  const QString dataHome = qEnvironmentVariable("OSTREL_TEST_SCRATCH") + QStringLiteral("/data-home");
  const QString entry = dataHome + QStringLiteral("/applications/VELDOR.Ostrel.desktop");
  const auto entryText = [&] {
    QFile file(entry);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  };
  struct Case {
    const char* name;
    QByteArray installed;  // an entry already there; empty: none
  };
  for (const Case& c : {Case{"none installed", {}}, Case{"one installed", "[Desktop Entry]\nName=Mine\n"}}) {
    SCOPED_TRACE(c.name);
    QDir(dataHome).removeRecursively();
    if (!c.installed.isEmpty()) {
      ASSERT_TRUE(QDir().mkpath(QFileInfo(entry).absolutePath()));
      QFile file(entry);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(c.installed);
    }
    ChildProcess script;
    // The portals know the session as a Wayland one; Ostrel itself still
    // draws on the test's X server.
    script.setEnvironment(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    script.setEnvironment(QStringLiteral("XDG_DATA_HOME"), dataHome);
    script.setEnvironment(QStringLiteral("XDG_DATA_DIRS"), dataHome + QStringLiteral("/none"));
    QString error;
    ASSERT_TRUE(script.start(launcher(), {binDirectory()}, &error)) << error.toStdString();
    EXPECT_EQ(device.read(24, 30000), commandFrame(10, 16)) << "Ostrel did not start";
    if (c.installed.isEmpty()) {
      const QByteArray said = "Wayland session: wrote the desktop entry " + entry.toUtf8();
      const QByteArray exec = "\nExec=" + QFileInfo(binDirectory()).absoluteFilePath().toUtf8() + "/ostrel\n";
      EXPECT_TRUE(script
                      .waitForLine(
                          ChildStream::Output,
                          [&](const QByteArray& line) {
                            return line.startsWith(said);
                          },
                          10s)
                      .has_value());
      EXPECT_TRUE(entryText().contains(exec)) << entryText().data();
    } else {
      EXPECT_EQ(entryText(), c.installed);
    }
    ASSERT_TRUE(script.signal(SIGTERM));  // passed on to Ostrel
    const auto exit = script.waitForExit(20s);
    ASSERT_TRUE(exit.has_value());
    EXPECT_EQ(exit->status, 0);
    EXPECT_EQ(entryText(), c.installed) << "the run's entry outlived it, or an installed one changed";
  }
}

}  // namespace
}  // namespace ostrel::test
