// `make run`'s launcher: it brings the monitor simulator along exactly when the
// machine has no serial device, and takes it down again with Ostrel.
//
// Ostrel itself is played by a small script that records which ports it could
// see while it ran: the launcher's contract is only about processes and ports,
// and the real application needs a whole desktop session.
#include "SimHarness.h"

#include "platform/posix/VirtualPortDirectory.h"

#include <glob.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace ostrel::simtest {
namespace {

constexpr int kWait = 20000;

QString launcher() {
  return qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/scripts/run-ostrel.sh");
}

bool machineHasSerialDevices() {
  for (const char* pattern : {"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/serial/by-id/*"}) {
    glob_t g{};
    const bool found = ::glob(pattern, 0, nullptr, &g) == 0 && g.gl_pathc > 0;
    ::globfree(&g);
    if (found) return true;
  }
  return false;
}

struct LaunchResult {
  int exitCode = -1;
  QString output;
  QString seen;  // "name -> target" of every port the stand-in saw, one a line
  QString arguments;
};

// A bin directory with the stand-in for Ostrel and, if asked, the real simulator.
LaunchResult launch(bool withOstrel, bool withSimulator) {
  QTemporaryDir build;
  EXPECT_TRUE(build.isValid());
  const QString bin = build.path() + QStringLiteral("/bin");
  QDir().mkpath(bin);
  if (withSimulator) {
    EXPECT_TRUE(QFile::link(simulatorBinary(), bin + QStringLiteral("/ostrel-sim")));
  }
  if (withOstrel) {
    QFile ostrel(bin + QStringLiteral("/ostrel"));
    EXPECT_TRUE(ostrel.open(QIODevice::WriteOnly));
    ostrel.write(
        "#!/bin/sh\n"
        "for f in \"$XDG_RUNTIME_DIR\"/ostrel/serial/*; do\n"
        "  [ -c \"$f\" ] && echo \"$(basename \"$f\") -> $(readlink \"$f\")\"\n"
        "done > \"$0.seen\"\n"
        "echo \"$@\" > \"$0.args\"\n"
        "exit 7\n");
    ostrel.close();
    ostrel.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(QStringLiteral("bash"), {launcher(), bin, QStringLiteral("--from-test")});
  EXPECT_TRUE(process.waitForFinished(kWait));
  LaunchResult run;
  run.exitCode = process.exitCode();
  run.output = QString::fromLocal8Bit(process.readAll());
  QFile seen(bin + QStringLiteral("/ostrel.seen"));
  if (seen.open(QIODevice::ReadOnly)) run.seen = QString::fromLocal8Bit(seen.readAll());
  QFile args(bin + QStringLiteral("/ostrel.args"));
  if (args.open(QIODevice::ReadOnly)) run.arguments = QString::fromLocal8Bit(args.readAll()).trimmed();
  return run;
}

TEST(RunScript, SaysWhatIsMissingWhenOstrelIsNotBuilt) {
  const LaunchResult run = launch(false, true);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.output.contains(QStringLiteral("Ostrel itself is not built yet:"))) << run.output.toStdString();
  EXPECT_TRUE(run.output.contains(QStringLiteral("/bin/ostrel is missing"))) << run.output.toStdString();
}

TEST(RunScript, BringsTheSimulatorOnlyWhenThereIsNoSerialDevice) {
  if (machineHasSerialDevices()) GTEST_SKIP() << "this machine has a serial adapter";
  QString error;
  const std::optional<QString> dir = platform::ensureVirtualPortDirectory(&error);
  ASSERT_TRUE(dir) << error.toStdString();

  enum class Port { None, Dangling, RegularFile, PseudoTerminal };
  const struct {
    const char* what;
    Port port;
    bool simulatorBuilt;
    bool expectSimulator;
  } cases[] = {
      {"no port at all", Port::None, true, true},
      {"only a dangling link", Port::Dangling, true, true},
      {"a link to a regular file", Port::RegularFile, true, true},
      {"a link to a terminal", Port::PseudoTerminal, true, false},
      {"no port and no simulator built", Port::None, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QString other = *dir + QStringLiteral("/other");
    QFile::remove(other);
    int master = -1;
    int slave = -1;
    char name[128] = {};
    QTemporaryDir scratch;
    switch (c.port) {
      case Port::None:
        break;
      case Port::Dangling:
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/pts/987654"), other));
        break;
      case Port::RegularFile: {
        QFile f(scratch.path() + QStringLiteral("/plain"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        ASSERT_TRUE(QFile::link(f.fileName(), other));
        break;
      }
      case Port::PseudoTerminal:
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(name), other));
        break;
    }

    const LaunchResult run = launch(true, c.simulatorBuilt);
    EXPECT_EQ(run.exitCode, 7) << run.output.toStdString();  // Ostrel's own status
    EXPECT_EQ(run.arguments, QStringLiteral("--from-test"));
    const QString link = *dir + QStringLiteral("/ostrel-sim0");
    if (c.expectSimulator) {
      EXPECT_TRUE(run.output.contains(
          QStringLiteral("No serial device found: started the monitor simulator (ostrel-sim --mcu 48) on ") + link))
          << run.output.toStdString();
      EXPECT_TRUE(run.seen.contains(QStringLiteral("ostrel-sim0 -> /dev/pts/"))) << run.seen.toStdString();
    } else {
      EXPECT_FALSE(run.output.contains(QStringLiteral("started the monitor simulator"))) << run.output.toStdString();
      EXPECT_FALSE(run.seen.contains(QStringLiteral("ostrel-sim0"))) << run.seen.toStdString();
    }
    if (c.port == Port::PseudoTerminal) {
      EXPECT_TRUE(run.seen.contains(QStringLiteral("other -> ") + QString::fromLocal8Bit(name)))
          << run.seen.toStdString();
    }
    if (!c.simulatorBuilt) {
      EXPECT_TRUE(run.output.contains(QStringLiteral("the monitor simulator"))) << run.output.toStdString();
      EXPECT_TRUE(run.output.contains(QStringLiteral("is not built: starting Ostrel alone")))
          << run.output.toStdString();
    }
    // The simulator went down with Ostrel, in order: its port is gone.
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    QFile::remove(other);
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
  }
}

}  // namespace
}  // namespace ostrel::simtest
