// The programs as a user runs them: ostrelctl alone (straight to the monitor),
// ostrelctl with Ostrel running (through the session bus), a second Ostrel, an
// Ostrel without a session bus. Each under the test's own Xvfb and session
// bus, with ostrel-sim as the monitor.

#include "support/ChildProcess.h"
#include "ControlFrames.h"
#include "support/OstrelProcess.h"
#include "support/PseudoTerminal.h"
#include "support/SimulatedMonitor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>
#include <optional>
#include <ostream>
#include <thread>

inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kQuiet = 450ms;


using Environment = std::map<QString, std::optional<QString>>;

Environment withoutSessionBus() {
  return {{QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
           QStringLiteral("unix:path=%1/no-bus-here").arg(qEnvironmentVariable("OSTREL_TEST_SCRATCH"))}};
}

struct CtlRun {
  int status = -1;
  QString out;
  QString err;
};

// One of the build's programs, run to its end.
CtlRun runProgram(const QString& program, const QStringList& arguments, const Environment& environment = {}) {
  ChildProcess process;
  for (const auto& [name, value] : environment) process.setEnvironment(name, value);
  CtlRun run;
  QString error;
  if (!process.start(buildProgram(program), arguments, &error)) {
    ADD_FAILURE() << error.toStdString();
    return run;
  }
  const std::optional<ChildExit> exit = process.waitForExit(30s);
  process.waitForEndOfStreams(5s);
  if (!exit || !exit->exited) {
    ADD_FAILURE() << program.toStdString() << " " << arguments.join(' ').toStdString() << " did not end by itself";
    return run;
  }
  run.status = exit->status;
  for (const StampedLine& line : process.lines(ChildStream::Output)) run.out += QString::fromUtf8(line.text) + '\n';
  for (const StampedLine& line : process.lines(ChildStream::Error)) run.err += QString::fromUtf8(line.text) + '\n';
  return run;
}

CtlRun ostrelctl(const QStringList& arguments, const Environment& environment = {}) {
  return runProgram(QStringLiteral("ostrelctl"), arguments, environment);
}

Environment withoutDisplay() {
  return {{QStringLiteral("DISPLAY"), std::nullopt},
          {QStringLiteral("WAYLAND_DISPLAY"), std::nullopt},
          {QStringLiteral("QT_QPA_PLATFORM"), std::nullopt}};
}

QString autostartEntry(const QString& fileId) {
  return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/") + fileId + QStringLiteral(".desktop");
}

void clearAutostart() {
  QDir(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart")).removeRecursively();
}

bool writeText(const QString& path, const QByteArray& text) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

// ---- every program -----------------------------------------------------------

TEST(Programs, HelpAndVersionNeedNoDisplayAndEveryProgramTellsTheProjectsVersion) {
  for (const char* name : {"ostrel", "ostrelctl", "ostrel-sim"}) {
    SCOPED_TRACE(name);
    const QString program = QString::fromLatin1(name);
    CtlRun run = runProgram(program, {QStringLiteral("--version")}, withoutDisplay());
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, program + QStringLiteral(" " OSTREL_TEST_PROJECT_VERSION "\n"));
    EXPECT_EQ(run.err, QString());
    run = runProgram(program, {QStringLiteral("--help")}, withoutDisplay());
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("Usage: "))) << run.out.toStdString();
    for (const char* part : {"--help", "--version", "\nExit status:\n  0  "}) {
      EXPECT_TRUE(run.out.contains(QString::fromLatin1(part))) << part << "\n" << run.out.toStdString();
    }
  }
}

TEST(Programs, OstrelWithoutAGraphicalSessionSaysSoInOneLine) {
  const struct {
    const char* name;
    Environment environment;
  } cases[] = {
      {"no display at all", withoutDisplay()},
      {"an X display nobody answers and a Wayland display without its compositor",
       {{QStringLiteral("DISPLAY"), QStringLiteral(":65000")},
        {QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("no-compositor-here")},
        {QStringLiteral("QT_QPA_PLATFORM"), std::nullopt}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CtlRun run = runProgram(QStringLiteral("ostrel"), {}, c.environment);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QString());
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("ostrel: Ostrel needs a graphical session (X11 or Wayland)")))
        << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
  }
  // A mistyped option is refused, with or without a display.
  CtlRun run = runProgram(QStringLiteral("ostrel"), {QStringLiteral("--minimised")}, withoutDisplay());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, QStringLiteral("ostrel: unknown option \"--minimised\"\nTry 'ostrel --help'.\n"));
  run = runProgram(QStringLiteral("ostrel"), {QStringLiteral("--minimized"), QStringLiteral("file.txt")});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, QStringLiteral("ostrel: unexpected argument \"file.txt\"\nTry 'ostrel --help'.\n"));
}

QStringList framesFrom(SimulatedMonitor& sim, std::size_t from) {
  QStringList out;
  const auto all = sim.frames();
  for (std::size_t i = from; i < all.size(); ++i) out << QString::fromLatin1(all[i].text);
  return out;
}

QStringList framesAfterQuiet(SimulatedMonitor& sim, std::size_t from, std::size_t atLeast) {
  sim.waitForFrameCount(from + atLeast, 10s);
  std::this_thread::sleep_for(kQuiet);
  return framesFrom(sim, from);
}

QString nameOf(const SimulatedMonitor& sim) {
  return sim.linkPath().section('/', -1);
}

QJsonObject parseJson(const QString& text) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << text.toStdString();
  return doc.object();
}

// ---- ostrelctl on its own ---------------------------------------------------

TEST(OstrelctlAlone, BadCommandLinesSendNothing) {
  SimulatedMonitor sim(48, QStringLiteral("alone-sim0"));
  QString error;
  ASSERT_TRUE(sim.start(&error)) << error.toStdString();
  const struct {
    QStringList arguments;
    int status;
    const char* err;
  } cases[] = {
      {{}, 2, "ostrelctl: no command given\nTry 'ostrelctl --help'.\n"},
      {{"contrast", "10"}, 2, "ostrelctl: contrast must be 1..9, up or down, not 10\nTry 'ostrelctl --help'.\n"},
      {{"mode", "photo"},
       2,
       "ostrelctl: image mode must be text, graphic, video, not \"photo\"\nTry 'ostrelctl --help'.\n"},
      {{"brightness", "101"}, 2, "ostrelctl: brightness must be 0..100, not 101\nTry 'ostrelctl --help'.\n"},
      {{"refresh", "--json"},
       2,
       "ostrelctl: --json goes with status, read or monitors, not with refresh\nTry 'ostrelctl --help'.\n"},
      {{"--help"}, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const CtlRun run = ostrelctl(c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, QString::fromUtf8(c.err));
    if (c.status == 0) {
      EXPECT_TRUE(run.out.startsWith(QStringLiteral("Usage: ostrelctl"))) << run.out.toStdString();
    }
  }
  std::this_thread::sleep_for(kQuiet);
  EXPECT_EQ(sim.frameCount(), 0u);
}

TEST(OstrelctlAlone, WorksTheMonitorDirectlyWithOrWithoutASessionBus) {
  SimulatedMonitor sim(48, QStringLiteral("alone-sim1"));
  QString error;
  ASSERT_TRUE(sim.start(&error)) << error.toStdString();
  const struct {
    const char* name;
    Environment environment;
  } buses[] = {{"session bus, no Ostrel on it", {}}, {"no session bus", withoutSessionBus()}};
  for (const auto& bus : buses) {
    SCOPED_TRACE(bus.name);
    std::size_t from = sim.frameCount();
    CtlRun run = ostrelctl({"refresh"}, bus.environment);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString());
    EXPECT_EQ(run.err, QString());
    EXPECT_EQ(framesAfterQuiet(sim, from, 2), (QStringList{kProbe, f(3, 1)}));

    from = sim.frameCount();
    run = ostrelctl({"light", "mixed"}, bus.environment);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(framesAfterQuiet(sim, from, 2), (QStringList{kProbe, f(7, 3)}));
  }

  // status --json: what the monitor reports, set from its own menu.
  for (const char* line : {"set contrast 8", "set mode 4", "set speed 1", "set light 2", "set brightness 5",
                           "set temperature 95", "state"}) {
    ASSERT_TRUE(sim.command(line));
  }
  ASSERT_TRUE(sim.waitForDiagnostic("temperature 95", 5s));
  const CtlRun status = ostrelctl({"status", "--json"});
  ASSERT_EQ(status.status, 0) << status.err.toStdString();
  const QJsonObject json = parseJson(status.out);
  EXPECT_EQ(json.value("source"), QJsonValue("direct"));
  EXPECT_EQ(json.value("current"), QJsonValue(nameOf(sim)));
  EXPECT_EQ(json.value("mcuVersion"), QJsonValue(48));
  EXPECT_EQ(json.value("contrast"), QJsonValue(8));
  EXPECT_EQ(json.value("imageMode"), QJsonValue(4));
  EXPECT_EQ(json.value("refreshSpeed"), QJsonValue(1));
  EXPECT_EQ(json.value("frontLightMode"), QJsonValue(2));
  EXPECT_EQ(json.value("brightness"), QJsonValue(5));
  EXPECT_EQ(json.value("temperature"), QJsonValue(95));

  const CtlRun monitors = ostrelctl({"monitors"});
  EXPECT_EQ(monitors.status, 0);
  EXPECT_EQ(monitors.out, nameOf(sim) + '\n');
  // The adapter the direct session found it on is the one asked first next time.
  const CtlRun listed = ostrelctl({"monitors", "--json"});
  EXPECT_EQ(parseJson(listed.out).value("adapter"), QJsonValue("path:" + sim.linkPath()));
}

TEST(OstrelctlAlone, NoMonitorExitsThree) {
  // A serial line that never answers stands in for whatever the machine has.
  PseudoTerminal silent;
  ASSERT_FALSE(silent.publish(QStringLiteral("alone-silent")).isEmpty());
  for (const QStringList& arguments :
       {QStringList{"refresh"}, QStringList{"status", "--json"}, QStringList{"monitors"}}) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    const CtlRun run = ostrelctl(arguments);
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("ostrelctl: no monitor: no serial port answered as a monitor")))
        << run.err.toStdString();
    EXPECT_EQ(run.out, QString());
  }
}

TEST(OstrelctlAlone, AutostartSwitchesTheOstrelBesideItWithoutAMonitor) {
  clearAutostart();
  const struct {
    const char* value;
    const char* out;
    bool entry;  // Ostrelkick's entry there afterwards
  } steps[] = {{"on", "", true}, {"status", "on\n", true}, {"off", "", false}, {"status", "off\n", false}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.value);
    const CtlRun run = ostrelctl({"autostart", step.value}, withoutSessionBus());
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString::fromLatin1(step.out));
    EXPECT_EQ(QFileInfo::exists(autostartEntry(QStringLiteral("VELDOR.Ostrelkick"))), step.entry);
  }
}

TEST(OstrelctlAlone, ADeviceThisTestHoldsGetsNothingUntilItIsReleased) {
  SimulatedMonitor sim(48, QStringLiteral("alone-held"));
  QString error;
  ASSERT_TRUE(sim.start(&error)) << error.toStdString();
  // A terminal program's way: open, no lock of any kind.
  const int held = ::open(QFile::encodeName(sim.linkPath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(held, 0);
  const CtlRun refused = ostrelctl({"refresh"});
  EXPECT_EQ(refused.status, 4) << refused.err.toStdString();
  EXPECT_TRUE(refused.err.contains(QStringLiteral("%1: in use by %2 ").arg(sim.linkPath()).arg(::getpid())))
      << refused.err.toStdString();
  ::close(held);
  // Released, the monitor is found; the first frames it ever got are these.
  const CtlRun run = ostrelctl({"refresh"});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(framesAfterQuiet(sim, 0, 2), (QStringList{kProbe, f(3, 1)}));
}

// ---- with Ostrel running ----------------------------------------------------

class WithOstrel : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sim_ = std::make_unique<SimulatedMonitor>(48, QStringLiteral("with-ostrel-sim"));
    QString error;
    ASSERT_TRUE(sim_->start(&error)) << error.toStdString();
    ostrel_ = std::make_unique<OstrelProcess>();
    ASSERT_TRUE(ostrel_->start(&error)) << error.toStdString();
    ASSERT_TRUE(ostrel_->waitUntilReady(30s)) << ostrel_->logText().toStdString();
    // The read-back that follows the monitor's acceptance is over.
    ASSERT_TRUE(sim_->waitForFrame(f(10, 8).toLatin1(), 20s).has_value());
    std::this_thread::sleep_for(kQuiet);
  }
  static void TearDownTestSuite() {
    if (ostrel_) ostrel_->stop();
    ostrel_.reset();
    sim_.reset();
  }
  static std::unique_ptr<SimulatedMonitor> sim_;
  static std::unique_ptr<OstrelProcess> ostrel_;
};

std::unique_ptr<SimulatedMonitor> WithOstrel::sim_;
std::unique_ptr<OstrelProcess> WithOstrel::ostrel_;

TEST_F(WithOstrel, CommandsGoThroughOstrel) {
  const struct {
    QStringList arguments;
    QStringList frames;
  } cases[] = {
      {{"refresh"}, {f(3, 1)}},
      {{"contrast", "4"}, {f(1, 4)}},
      {{"contrast", "up"}, {f(1, 5), f(10, 1)}},
      {{"contrast", "down"}, {f(1, 4), f(10, 1)}},
      {{"mode", "graphic"}, {f(2, 3)}},
      {{"speed", "5"}, {f(4, 5)}},
      {{"light", "cold"}, {f(7, 1)}},
      {{"brightness", "10"}, {f(9, 10)}},
      {{"temperature", "90"}, {f(8, 90)}},
      {{"sync-time"}, {f(5, 0)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const std::size_t from = sim_->frameCount();
    const CtlRun run = ostrelctl(c.arguments);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, QString());
    // No probe: Ostrel keeps the port, ostrelctl only asked it.
    EXPECT_EQ(framesAfterQuiet(*sim_, from, c.frames.size()), c.frames);
  }
  EXPECT_GE(ostrel_->countLogContaining("Bus request Refresh from :"), 1);
  EXPECT_TRUE(ostrel_->process().isRunning());
}

TEST_F(WithOstrel, StatusAndReadShowWhatTheMonitorReported) {
  const std::size_t logFrom = ostrel_->logLineCount();
  for (const char* line : {"set contrast 6", "set brightness 70", "set mode 2"}) ASSERT_TRUE(sim_->command(line));
  ASSERT_TRUE(ostrel_->waitForLog("updateViewModeDisplay modeValue = 2", 10s, logFrom).has_value());

  const CtlRun status = ostrelctl({"status", "--json"});
  ASSERT_EQ(status.status, 0) << status.err.toStdString();
  QJsonObject json = parseJson(status.out);
  EXPECT_EQ(json.value("source"), QJsonValue("ostrel"));
  EXPECT_EQ(json.value("monitors").toVariant().toStringList(), QStringList{nameOf(*sim_)});
  EXPECT_EQ(json.value("mcuVersion"), QJsonValue(48));
  EXPECT_EQ(json.value("contrast"), QJsonValue(6));
  EXPECT_EQ(json.value("brightness"), QJsonValue(70));
  EXPECT_EQ(json.value("imageMode"), QJsonValue(2));

  // read asks the monitor again, with the window's read-back, and shows the answers.
  ASSERT_TRUE(sim_->command("set speed 2"));
  ASSERT_TRUE(ostrel_->waitForLog("updateViewSpeedDisplay speedValue = 2", 10s, logFrom).has_value());
  const std::size_t from = sim_->frameCount();
  const CtlRun read = ostrelctl({"read", "--json"});
  ASSERT_EQ(read.status, 0) << read.err.toStdString();
  EXPECT_EQ(framesFrom(*sim_, from), (QStringList{f(10, 1), f(10, 2), f(10, 4), f(10, 7), f(10, 9), f(10, 8)}));
  json = parseJson(read.out);
  EXPECT_EQ(json.value("refreshSpeed"), QJsonValue(2));
  EXPECT_EQ(json.value("contrast"), QJsonValue(6));
  EXPECT_TRUE(json.value("temperature").isDouble());
}

TEST_F(WithOstrel, ASecondLaunchHandsOverAndExits) {
  const std::optional<QString> window = ostrel_->waitForWindow();
  ASSERT_TRUE(window.has_value());
  auto opens = [] { return sim_->diagnostics().filter(QStringLiteral("the port was opened")).size(); };
  const qsizetype opensBefore = opens();
  // Focus elsewhere first, so that the hand-over has something to do.
  QByteArray root;
  ASSERT_TRUE(xdotool({QStringLiteral("search"), QStringLiteral("--maxdepth"), QStringLiteral("0"), QStringLiteral("")},
                      &root));
  xdotool({QStringLiteral("windowfocus"), QString::fromLatin1(root.trimmed().split('\n').front())});
  QByteArray focused;
  xdotool({QStringLiteral("getwindowfocus")}, &focused);
  ASSERT_NE(focused.trimmed(), window->toLatin1());

  const std::size_t logFrom = ostrel_->logLineCount();
  OstrelProcess second;
  QString error;
  ASSERT_TRUE(second.start(&error)) << error.toStdString();
  const std::optional<ChildExit> exit = second.waitForExit(20s);
  ASSERT_TRUE(exit.has_value()) << "the second Ostrel kept running";
  EXPECT_TRUE(exit->exited);
  EXPECT_EQ(exit->status, 0);
  second.process().waitForEndOfStreams(5s);
  EXPECT_EQ(second.countLog("Another Ostrel is running: asked it to show its window"), 1);
  EXPECT_EQ(second.countLogContaining("startPin"), 0) << "the second Ostrel looked for monitors";
  EXPECT_TRUE(ostrel_->waitForLogStartingWith("Bus request Activate from :", 5s, logFrom).has_value());

  bool raised = false;
  for (int i = 0; i < 100 && !raised; ++i) {
    focused.clear();
    raised = xdotool({QStringLiteral("getwindowfocus")}, &focused) && focused.trimmed() == window->toLatin1();
    if (!raised) std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(raised) << "focus is on " << focused.trimmed().toStdString() << ", not " << window->toStdString();

  // The first one still has the monitor.
  EXPECT_TRUE(ostrel_->process().isRunning());
  EXPECT_EQ(opens(), opensBefore);
  const std::size_t from = sim_->frameCount();
  EXPECT_EQ(ostrelctl({"refresh"}).status, 0);
  EXPECT_EQ(framesAfterQuiet(*sim_, from, 1), QStringList{f(3, 1)});
}

TEST_F(WithOstrel, AutostartGoesThroughOstrel) {
  clearAutostart();
  const std::size_t logFrom = ostrel_->logLineCount();
  EXPECT_EQ(ostrelctl({"autostart", "on"}).status, 0);
  EXPECT_TRUE(ostrel_->waitForLogStartingWith("Bus request SetStartAtLogin 1 from :", 5s, logFrom).has_value());
  EXPECT_EQ(ostrelctl({"autostart", "status"}).out, QStringLiteral("on\n"));
  clearAutostart();  // by hand: Ostrel reads the list afresh
  EXPECT_EQ(ostrelctl({"autostart", "status"}).out, QStringLiteral("off\n"));
  // A file where the directory belongs: nobody, not even root, can write there.
  ASSERT_TRUE(writeText(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart"), "not a directory"));
  const CtlRun refused = ostrelctl({"autostart", "on"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, QStringLiteral("ostrelctl: start at login could not be switched on: %1 could not be written\n")
                             .arg(autostartEntry(QStringLiteral("VELDOR.Ostrelkick"))));
  QFile::remove(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart"));
}

TEST_F(WithOstrel, ASecondLaunchAtLoginLeavesTheRunningWindowAlone) {
  const std::size_t logFrom = ostrel_->logLineCount();
  OstrelProcess second;
  QString error;
  ASSERT_TRUE(second.start(&error, {QStringLiteral("--minimized")})) << error.toStdString();
  const std::optional<ChildExit> exit = second.waitForExit(20s);
  ASSERT_TRUE(exit.has_value()) << "the second Ostrel kept running";
  EXPECT_EQ(exit->status, 0);
  second.process().waitForEndOfStreams(5s);
  EXPECT_EQ(second.countLog("Another Ostrel is running: left its window as it is"), 1)
      << second.logText().toStdString();
  // A later request marks where the first one's log of that hand-over ends.
  EXPECT_EQ(ostrelctl({"refresh"}).status, 0);
  const auto marker = ostrel_->waitForLogStartingWith("Bus request Refresh from :", 5s, logFrom);
  ASSERT_TRUE(marker.has_value());
  for (std::size_t i = logFrom; i < *marker; ++i) {
    EXPECT_FALSE(ostrel_->logLines()[i].text.startsWith("Bus request Activate")) << "the window was raised";
  }
}

TEST_F(WithOstrel, WithoutItsMonitorOstrelRefuses) {
  const std::size_t logFrom = ostrel_->logLineCount();
  ASSERT_TRUE(sim_->unplug());
  ASSERT_TRUE(ostrel_->waitForLog("updateMainViewContent no content to display", 10s, logFrom).has_value());
  // A refusal is the reply on which Qt's bus thread still has work after
  // ostrelctl has its answer: every one of many runs leaves only ostrelctl's
  // own words on standard error, whatever ostrelctl's exit catches that thread doing.
  CtlRun run;
  for (int i = 0; i < 40; ++i) {
    run = ostrelctl({"refresh"});
    ASSERT_EQ(run.status, 3) << "run " << i;
    ASSERT_EQ(run.err, QStringLiteral("ostrelctl: no monitor is connected; nothing was sent\n")) << "run " << i;
  }
  run = ostrelctl({"status"});
  EXPECT_EQ(run.status, 3);
  // What serves the shortcuts and the monitor's input is Ostrel's, monitor or not.
  const QString display = qEnvironmentVariable("DISPLAY");
  // So is Auto Clear: no system bus here (no logind), no desktop on the bus.
  EXPECT_EQ(run.out,
            QStringLiteral("No monitor connected.\n"
                           "Shortcuts:      XInput2 key monitor on the X display %1\n"
                           "Monitor input:  XTest on the X display %1\n"
                           "Auto Clear:     off\n"
                           "  Pause while idle: on\n"
                           "  idle time:    MIT-SCREEN-SAVER on the X display %1 (asked at each Auto Clear tick)\n"
                           "  lock:         unavailable: logind: there is no system bus; "
                           "org.freedesktop.ScreenSaver is not on the session bus; org.gnome.ScreenSaver is "
                           "not on the session bus\n"
                           "Page refresh:   off\n")
                .arg(display));
  run = ostrelctl({"status", "--json"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(parseJson(run.out).value("current"), QJsonValue(QJsonValue::Null));
  run = ostrelctl({"monitors"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, QString());
  EXPECT_EQ(run.err, QStringLiteral("ostrelctl: no monitor is connected\n"));
}

// ---- Ostrel without a session bus -------------------------------------------

TEST(OstrelWithoutSessionBus, StartsSaysSoOnceAndKeepsItsPort) {
  SimulatedMonitor sim(48, QStringLiteral("nobus-sim"));
  QString error;
  ASSERT_TRUE(sim.start(&error)) << error.toStdString();
  OstrelProcess ostrel;
  for (const auto& [name, value] : withoutSessionBus()) ostrel.setEnvironment(name, value);
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  ASSERT_TRUE(ostrel.waitUntilReady(30s)) << ostrel.logText().toStdString();
  ASSERT_TRUE(sim.waitForFrame(f(10, 1).toLatin1(), 20s).has_value()) << "no read-back: the monitor was not found";
  EXPECT_EQ(ostrel.countLogContaining("No session bus ("), 1);
  EXPECT_EQ(ostrel.countLogContaining("ostrelctl and a second launch cannot reach this Ostrel"), 1);

  // ostrelctl cannot reach it either, and says why it cannot take the port.
  const CtlRun run = ostrelctl({"refresh"}, withoutSessionBus());
  EXPECT_TRUE(run.status == 3 || run.status == 4) << run.status;  // 4 when no other port of the machine opens
  EXPECT_TRUE(run.err.contains(
      sim.linkPath() + QStringLiteral(": in use by %1 ostrel (nothing was written to it)").arg(ostrel.process().pid())))
      << run.err.toStdString();
  EXPECT_TRUE(ostrel.process().isRunning());
  ostrel.stop();
}

}  // namespace
}  // namespace ostrel::test
