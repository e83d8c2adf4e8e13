// ostrelctl run while Ostrel is starting: Ostrel runs but does not own its bus
// name yet (HeldOstrel); ostrel-sim is the monitor. The real programs, under the test's own Xvfb and
// session bus.

#include "support/ChildProcess.h"
#include "ControlFrames.h"
#include "support/HeldOstrel.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>
#include <QJsonDocument>
#include <QJsonObject>
#include <thread>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

QStringList frameTexts(const SimulatedMonitor& sim) {
  QStringList out;
  for (const auto& frame : sim.frames()) out << QString::fromLatin1(frame.text);
  return out;
}

QString text(const ChildProcess& process, ChildStream stream) {
  QString all;
  for (const StampedLine& line : process.lines(stream)) all += QString::fromUtf8(line.text) + '\n';
  return all;
}

struct CtlRun {
  int status = -1;
  QString out;
  QString err;
};

CtlRun finish(ChildProcess& ctl) {
  CtlRun run;
  const std::optional<ChildExit> exit = ctl.waitForExit(30s);
  ctl.waitForEndOfStreams(5s);
  if (!exit || !exit->exited) {
    ADD_FAILURE() << "ostrelctl did not end by itself";
    return run;
  }
  run.status = exit->status;
  run.out = text(ctl, ChildStream::Output);
  run.err = text(ctl, ChildStream::Error);
  return run;
}

TEST(StartingOstrel, OstrelctlWaitsForItsBusNameAndAsksItInsteadOfTakingThePort) {
  SimulatedMonitor sim(48, QStringLiteral("starting-sim"));
  QString error;
  ASSERT_TRUE(sim.start(&error)) << error.toStdString();
  HeldOstrel held(QStringLiteral("answers"));
  ASSERT_TRUE(held.start(&error)) << error.toStdString();
  ChildProcess ctl;
  ASSERT_TRUE(
      startOstrelctlWaitingFor(ctl, {QStringLiteral("status"), QStringLiteral("--json")}, held.ostrel().process().pid(), &error))
      << error.toStdString();
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(ctl.isRunning());
  EXPECT_EQ(sim.frameCount(), 0u) << "ostrelctl worked the monitor directly";

  held.release();
  const CtlRun run = finish(ctl);
  // Ostrel answered while its first search may still be on: a monitor or not yet.
  EXPECT_TRUE(run.status == 0 || run.status == 3) << run.status << run.err.toStdString();
  EXPECT_EQ(QJsonDocument::fromJson(run.out.toUtf8()).object().value("source"), QJsonValue("ostrel"))
      << run.out.toStdString();
  // The monitor is Ostrel's: found by its first search, read back, opened once.
  ASSERT_TRUE(sim.waitForFrame(f(10, 8).toLatin1(), 20s).has_value()) << frameTexts(sim).join(' ').toStdString();
  EXPECT_EQ(frameTexts(sim).value(0), kProbe);
  EXPECT_EQ(sim.diagnostics().filter(QStringLiteral("the port was opened")).size(), 1);
  EXPECT_EQ(held.ostrel().countLogContaining("in use by"), 0);
}

TEST(StartingOstrel, AStartingOstrelThatExitsLeavesOstrelctlToWorkDirectly) {
  SimulatedMonitor sim(48, QStringLiteral("starting-exits"));
  QString error;
  ASSERT_TRUE(sim.start(&error)) << error.toStdString();
  HeldOstrel held(QStringLiteral("exits"));
  ASSERT_TRUE(held.start(&error)) << error.toStdString();
  ChildProcess ctl;
  ASSERT_TRUE(startOstrelctlWaitingFor(ctl, {QStringLiteral("refresh")}, held.ostrel().process().pid(), &error))
      << error.toStdString();
  held.ostrel().stop();
  const CtlRun run = finish(ctl);
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  ASSERT_TRUE(sim.waitForFrameCount(2, 10s));
  EXPECT_EQ(frameTexts(sim), (QStringList{kProbe, f(3, 1)}));
}

TEST(StartingOstrel, AStartingOstrelSilentForFiveSecondsGetsNothingSentUnderIt) {
  SimulatedMonitor sim(48, QStringLiteral("starting-silent"));
  QString error;
  ASSERT_TRUE(sim.start(&error)) << error.toStdString();
  HeldOstrel held(QStringLiteral("silent"));
  ASSERT_TRUE(held.start(&error)) << error.toStdString();
  ChildProcess ctl;
  ASSERT_TRUE(ctl.start(buildProgram(QStringLiteral("ostrelctl")), {QStringLiteral("refresh")}, &error))
      << error.toStdString();
  const CtlRun run = finish(ctl);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, QStringLiteral("ostrelctl: Ostrel (PID %1) is starting but did not answer on the session bus "
                                    "within 5 s; nothing was sent\n")
                         .arg(held.ostrel().process().pid()));
  EXPECT_EQ(sim.frameCount(), 0u);
  EXPECT_TRUE(held.ostrel().process().isRunning());
}

TEST(StartingOstrel, WithoutAnyOstrelOstrelctlGoesStraightToTheMonitor) {
  SimulatedMonitor sim(48, QStringLiteral("starting-none"));
  QString error;
  ASSERT_TRUE(sim.start(&error)) << error.toStdString();
  ChildProcess ctl;
  ASSERT_TRUE(
      ctl.start(buildProgram(QStringLiteral("ostrelctl")), {QStringLiteral("-v"), QStringLiteral("refresh")}, &error))
      << error.toStdString();
  const CtlRun run = finish(ctl);
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_FALSE(run.err.contains(QStringLiteral("is starting"))) << run.err.toStdString();
  ASSERT_TRUE(sim.waitForFrameCount(2, 10s));
  EXPECT_EQ(frameTexts(sim), (QStringList{kProbe, f(3, 1)}));
}

}  // namespace
}  // namespace ostrel::test
