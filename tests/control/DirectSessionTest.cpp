// ostrelctl's direct path in this process: DirectSession with Ostrel's own
// discovery and encoder against ostrel-sim and bare pseudo-terminals, no
// window and no bus. Only the test's virtual ports are offered to it, so
// whatever serial hardware the machine has stays out of the results.

#include "BusTestClient.h"
#include "ControlFrames.h"
#include "control/ControlProtocol.h"
#include "monitor/MonitorState.h"
#include "ostrelctl/DirectSession.h"
#include "ostrelctl/OpenFailureDiagnosis.h"
#include "platform/posix/TerminalDevice.h"
#include "platform/posix/VirtualPortDirectory.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"
#include "support/ChildProcess.h"
#include "support/PseudoTerminal.h"
#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <cerrno>
#include <memory>
#include <ostream>
#include <thread>

inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace ostrel::ctl {
namespace {

using test::PseudoTerminal;
using test::SimulatedMonitor;
using test::spinFor;
using test::spinUntil;

constexpr int kQuietMs = 450;

using ostrel::test::f;
using ostrel::test::kProbe;

QList<PelSerialPortRef> virtualPorts() {
  const QString dir = platform::virtualPortDirectoryPath() + QLatin1Char('/');
  QList<PelSerialPortRef> ports;
  for (const auto& port : PelSerialPortManager::sharedSerialPortManager().availablePorts()) {
    if (port->path().startsWith(dir)) ports.append(port);
  }
  return ports;
}

bool managerLists(const QString& name, bool listed = true) {
  return spinUntil(
      [&] {
        for (const PelSerialPortRef& p : virtualPorts()) {
          if (p->name() == name) return listed;
        }
        return !listed;
      },
      10000);
}

QString uniqueName(const char* stem) {
  static int next = 0;
  return QStringLiteral("%1%2").arg(QLatin1String(stem)).arg(next++);
}

CtlRequest request(CtlCommand command, std::int32_t value = 0, bool json = false) {
  CtlRequest r;
  r.command = command;
  r.value = value;
  r.json = json;
  return r;
}

CtlOutcome runDirect(const CtlRequest& r) {
  DirectSession session(DirectSession::Timing{}, virtualPorts);
  return session.run(r);
}

class DirectSessionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& sim : sims_) sim->stop();
    for (auto& sim : sims_) managerLists(sim->linkPath().section('/', -1), false);
    sims_.clear();
    caluPortsArr = std::make_shared<QList<PelSerialPortRef>>();
    currentPort.reset();
    currentMCUVersion = 0;
  }

  SimulatedMonitor& startMonitor(int mcu) {
    const QString name = uniqueName("direct-sim");
    sims_.push_back(std::make_unique<SimulatedMonitor>(mcu, name));
    QString error;
    EXPECT_TRUE(sims_.back()->start(&error)) << error.toStdString();
    EXPECT_TRUE(managerLists(name));
    return *sims_.back();
  }

  static QStringList framesFrom(SimulatedMonitor& sim, std::size_t from) {
    QStringList out;
    const auto all = sim.frames();
    for (std::size_t i = from; i < all.size(); ++i) out << QString::fromLatin1(all[i].text);
    return out;
  }

  std::vector<std::unique_ptr<SimulatedMonitor>> sims_;
};

struct CommandCase {
  const char* name;
  CtlRequest request;
  QStringList frames;  // after the probe
};

TEST_F(DirectSessionTest, EachCommandSendsTheWindowsFrames) {
  SimulatedMonitor& sim = startMonitor(48);
  const CommandCase cases[] = {
      {"refresh", request(CtlCommand::Refresh), {f(3, 1)}},
      {"contrast 7", request(CtlCommand::Contrast, 7), {f(1, 7)}},
      {"mode video", request(CtlCommand::ImageMode, 4), {f(2, 4)}},
      {"speed 2", request(CtlCommand::RefreshSpeed, 2), {f(4, 2)}},
      {"light warm", request(CtlCommand::FrontLight, 2), {f(7, 2)}},
      {"brightness 80", request(CtlCommand::Brightness, 80), {f(9, 80)}},
      {"temperature 20", request(CtlCommand::Temperature, 20), {f(8, 20)}},
      {"sync-time", request(CtlCommand::SyncTime), {f(5, 0)}},
      // The step starts from the contrast the monitor reports (7 from above).
      {"contrast up", request(CtlCommand::ContrastUp), {f(10, 1), f(1, 8), f(10, 1)}},
      {"contrast down", request(CtlCommand::ContrastDown), {f(10, 1), f(1, 7), f(10, 1)}},
      {"contrast 9", request(CtlCommand::Contrast, 9), {f(1, 9)}},
      {"contrast up wraps", request(CtlCommand::ContrastUp), {f(10, 1), f(1, 1), f(10, 1)}},
      {"contrast down wraps", request(CtlCommand::ContrastDown), {f(10, 1), f(1, 9), f(10, 1)}},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t from = sim.frameCount();
    const CtlOutcome outcome = runDirect(c.request);
    EXPECT_EQ(outcome.code, ExitCode::Done) << outcome.error.toStdString();
    EXPECT_EQ(outcome.output, QString());
    EXPECT_EQ(outcome.error, QString());
    QStringList expected{kProbe};
    expected += c.frames;
    ASSERT_TRUE(spinUntil([&] { return sim.frameCount() >= from + expected.size(); }, 5000))
        << framesFrom(sim, from).join(' ').toStdString();
    spinFor(kQuietMs);
    EXPECT_EQ(framesFrom(sim, from), expected);
  }
}

TEST_F(DirectSessionTest, StatusShowsWhatTheMonitorReported) {
  struct Case {
    int mcu;
    QStringList reads;
    QJsonObject values;
  };
  const Case cases[] = {
      {48,
       {f(10, 1), f(10, 2), f(10, 4), f(10, 7), f(10, 9), f(10, 8)},
       QJsonObject{{"contrast", 3},
                   {"imageMode", 3},
                   {"imageModeName", "graphic"},
                   {"refreshSpeed", 4},
                   {"refreshSpeedName", "Fast+++"},
                   {"frontLightMode", 3},
                   {"frontLightModeName", "mixed"},
                   {"brightness", 12},
                   {"temperature", 88},
                   {"mcuVersion", 48}}},
      {16,
       {f(10, 1), f(10, 2), f(10, 4)},
       QJsonObject{{"contrast", 3},
                   {"imageMode", 3},
                   {"imageModeName", "graphic"},
                   {"refreshSpeed", 4},
                   {"refreshSpeedName", "Fast+++"},
                   {"frontLightMode", QJsonValue::Null},
                   {"frontLightModeName", QJsonValue::Null},
                   {"brightness", QJsonValue::Null},
                   {"temperature", QJsonValue::Null},
                   {"mcuVersion", 16}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mcu);
    SimulatedMonitor& sim = startMonitor(c.mcu);
    for (const char* line : {"set contrast 3", "set mode 3", "set speed 4"}) ASSERT_TRUE(sim.command(line));
    if (c.mcu == 48) {
      for (const char* line : {"set light 3", "set brightness 12", "set temperature 88"})
        ASSERT_TRUE(sim.command(line));
    }
    // Console lines run in order: once the state shows the last one, all are in.
    ASSERT_TRUE(sim.command("state"));
    ASSERT_TRUE(sim.waitForDiagnostic(c.mcu == 48 ? "temperature 88" : "speed 4", std::chrono::seconds(5)));
    const std::size_t from = sim.frameCount();
    const CtlOutcome outcome = runDirect(request(CtlCommand::Status, 0, true));
    ASSERT_EQ(outcome.code, ExitCode::Done) << outcome.error.toStdString();
    QJsonParseError error{};
    const QJsonObject json = QJsonDocument::fromJson(outcome.output.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << outcome.output.toStdString();
    for (auto it = c.values.begin(); it != c.values.end(); ++it)
      EXPECT_EQ(json.value(it.key()), it.value()) << it.key().toStdString();
    EXPECT_EQ(json.value("source"), QJsonValue("direct"));
    EXPECT_EQ(json.value("current"), QJsonValue(sim.linkPath().section('/', -1)));
    QStringList expected{kProbe};
    expected += c.reads;
    spinFor(kQuietMs);
    EXPECT_EQ(framesFrom(sim, from), expected);
    sim.stop();
    managerLists(sim.linkPath().section('/', -1), false);
  }
}

TEST_F(DirectSessionTest, MonitorsListsEveryMonitorThatAnswers) {
  SimulatedMonitor& first = startMonitor(48);
  SimulatedMonitor& second = startMonitor(16);
  const CtlOutcome outcome = runDirect(request(CtlCommand::Monitors));
  ASSERT_EQ(outcome.code, ExitCode::Done) << outcome.error.toStdString();
  QStringList names = outcome.output.split('\n', Qt::SkipEmptyParts);
  names.sort();
  QStringList expected{first.linkPath().section('/', -1), second.linkPath().section('/', -1)};
  expected.sort();
  EXPECT_EQ(names, expected);
}

// The far end of a pseudo-terminal that answers the probe as a monitor of
// version 48 and then says nothing more; or, stalling, stops reading too.
class MuteMonitor {
 public:
  explicit MuteMonitor(bool stalls = false) : stalls_(stalls), thread_([this] { answer(); }) {}
  ~MuteMonitor() {
    stop_ = true;
    thread_.join();
  }
  PseudoTerminal& pty() { return pty_; }

 private:
  void answer() {
    QByteArray seen;
    while (!stop_) {
      seen += pty_.read(24, 50);
      if (seen.contains("5FF50A10")) {
        pty_.write("5FF5F00A1030000000000A0FA");
        if (stalls_) pty_.setOutputStopped(true);
        seen.clear();
      }
      if (seen.size() > 48) seen = seen.right(24);
    }
  }
  PseudoTerminal pty_;
  const bool stalls_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(DirectSessionTest, RefusalsSayWhyAndSendNothingTheyShouldNot) {
  // No serial port at all.
  {
    DirectSession session(DirectSession::Timing{}, [] { return QList<PelSerialPortRef>{}; });
    const CtlOutcome outcome = session.run(request(CtlCommand::Refresh));
    EXPECT_EQ(outcome.code, ExitCode::NoMonitor);
    EXPECT_EQ(outcome.error, QStringLiteral("ostrelctl: no monitor: no serial port found\n"));
  }
  // A serial line with nothing behind it: probed, silent.
  PseudoTerminal silent;
  const QString silentName = uniqueName("silent");
  ASSERT_FALSE(silent.publish(silentName).isEmpty());
  ASSERT_TRUE(managerLists(silentName));
  {
    const CtlOutcome outcome = runDirect(request(CtlCommand::Refresh));
    EXPECT_EQ(outcome.code, ExitCode::NoMonitor);
    EXPECT_EQ(outcome.error, QStringLiteral("ostrelctl: no monitor: no serial port answered as a monitor\n"));
    EXPECT_EQ(silent.readAvailable(100), kProbe.toLatin1());
  }
  // A monitor whose port another program holds, beside the silent line: the
  // held port is named, and nothing reaches the monitor.
  SimulatedMonitor& held = startMonitor(48);
  int openError = 0;
  auto holder = platform::TerminalDevice::open(held.linkPath(), &openError);
  ASSERT_TRUE(holder) << openError;
  {
    const CtlOutcome outcome = runDirect(request(CtlCommand::Refresh));
    EXPECT_EQ(outcome.code, ExitCode::NoMonitor);
    EXPECT_EQ(outcome.error, QStringLiteral("ostrelctl: no monitor: no serial port answered as a monitor; these could "
                                            "not be opened:\n  %1: in use by another program, perhaps an Ostrel that "
                                            "has no session bus\n")
                                 .arg(held.linkPath()));
  }
  // Only the held port: no access at all.
  silent.unpublish();
  ASSERT_TRUE(managerLists(silentName, false));
  {
    const CtlOutcome outcome = runDirect(request(CtlCommand::Refresh));
    EXPECT_EQ(outcome.code, ExitCode::NoAccess);
    EXPECT_EQ(outcome.error, QStringLiteral("ostrelctl: Ostrel is not running, and no serial port could be opened:\n  "
                                            "%1: in use by another program, perhaps an Ostrel that has no session "
                                            "bus\n")
                                 .arg(held.linkPath()));
  }
  spinFor(kQuietMs);
  EXPECT_EQ(held.frameCount(), 0u);
  holder.reset();

  // A monitor without a front light: front light commands send nothing after the probe.
  held.stop();
  ASSERT_TRUE(managerLists(held.linkPath().section('/', -1), false));
  SimulatedMonitor& sixteen = startMonitor(16);
  for (CtlCommand command : {CtlCommand::FrontLight, CtlCommand::Brightness, CtlCommand::Temperature}) {
    const std::size_t from = sixteen.frameCount();
    const CtlOutcome outcome = runDirect(request(command, 1));
    EXPECT_EQ(outcome.code, ExitCode::Failed);
    EXPECT_EQ(outcome.error, QStringLiteral("ostrelctl: the monitor %1 (MCU version 16) has no front light; nothing "
                                            "was sent\n")
                                 .arg(sixteen.linkPath().section('/', -1)));
    spinFor(kQuietMs);
    EXPECT_EQ(framesFrom(sixteen, from), QStringList{kProbe});
  }
}

TEST_F(DirectSessionTest, ADeviceAnotherProgramHoldsGetsNoProbeAndAStalledLineFails) {
  SimulatedMonitor& monitor = startMonitor(48);
  PseudoTerminal heldLine;
  const QString heldName = uniqueName("held");
  const QString heldLink = heldLine.publish(heldName);
  ASSERT_TRUE(managerLists(heldName));
  test::ChildProcess terminalProgram;
  QString error;
  ASSERT_TRUE(test::holdOpen(terminalProgram, heldLink, &error)) << error.toStdString();
  const CtlOutcome listed = runDirect(request(CtlCommand::Monitors, 0, true));
  ASSERT_EQ(listed.code, ExitCode::Done) << listed.error.toStdString();
  const QJsonObject held{{"discovery", QStringLiteral("in use by %1 sleep").arg(terminalProgram.pid())},
                         {"name", heldName},
                         {"path", heldLink}};
  EXPECT_TRUE(QJsonDocument::fromJson(listed.output.toUtf8()).object().value("ports").toArray().contains(held))
      << listed.output.toStdString();
  EXPECT_EQ(runDirect(request(CtlCommand::Refresh)).code, ExitCode::Done);
  EXPECT_TRUE(heldLine.readAvailable(100).isEmpty()) << "nothing reached the other program's line";
  monitor.stop();
  managerLists(monitor.linkPath().section('/', -1), false);

  // A monitor that answers and then stops taking data: the command fails and
  // says so, after its bound.
  MuteMonitor stalling(true);
  const QString name = uniqueName("stalling");
  ASSERT_FALSE(stalling.pty().publish(name).isEmpty());
  ASSERT_TRUE(managerLists(name));
  const CtlOutcome outcome = runDirect(request(CtlCommand::Refresh));
  EXPECT_EQ(outcome.code, ExitCode::Failed);
  EXPECT_EQ(outcome.error, QStringLiteral("ostrelctl: the monitor's serial line did not take the command; it was "
                                          "dropped\n"));
  stalling.pty().setOutputStopped(false);
  stalling.pty().unpublish();
  managerLists(name, false);
}

TEST_F(DirectSessionTest, AMonitorThatDoesNotReportIsNotGuessedAt) {
  MuteMonitor mute;
  const QString name = uniqueName("mute");
  ASSERT_FALSE(mute.pty().publish(name).isEmpty());
  ASSERT_TRUE(managerLists(name));
  {
    // The step needs the contrast it starts from; without it nothing is set.
    const CtlOutcome outcome = runDirect(request(CtlCommand::ContrastUp));
    EXPECT_EQ(outcome.code, ExitCode::Failed);
    EXPECT_EQ(outcome.error,
              QStringLiteral("ostrelctl: the monitor did not report its contrast; nothing was changed\n"));
  }
  {
    const CtlOutcome outcome = runDirect(request(CtlCommand::Status));
    EXPECT_EQ(outcome.code, ExitCode::Failed);
    EXPECT_EQ(outcome.error, QStringLiteral("ostrelctl: the monitor did not report its settings\n"));
    EXPECT_EQ(outcome.output, QString());
  }
  mute.pty().unpublish();
  managerLists(name, false);
}

// Tests run as root, where no port refuses access, so the reasons are checked
// by errno: without access the user learns of the udev rule, the two commands
// that apply it without a reboot, and the group for other adapters.
TEST(OpenFailureDiagnosis, ReasonsTellWhatToDo) {
  const struct {
    int error;
    QStringList mustMention;
  } cases[] = {
      {EACCES, {"70-ostrel.rules", "\"sudo udevadm control --reload\"", "\"sudo udevadm trigger\"", "dialout"}},
      {EPERM, {"70-ostrel.rules", "dialout"}},
      {EBUSY, {"in use by another program"}},
      {ENODEV, {"the device is gone"}},
  };
  for (const auto& c : cases) {
    const QString reason = OpenFailureDiagnosis::reasonFor(c.error);
    for (const QString& part : c.mustMention)
      EXPECT_TRUE(reason.contains(part)) << c.error << " lacks " << part.toStdString() << ": " << reason.toStdString();
  }
}

}  // namespace
}  // namespace ostrel::ctl
