// The simulator as Ostrel and its users meet it: a process that publishes a
// pseudo-terminal as a port, answers frames on it and takes console commands.
#include "SimHarness.h"

#include "platform/posix/VirtualPortDirectory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <csignal>

namespace ostrel::simtest {
namespace {

constexpr int kWait = 10000;  // generous: the machine may be busy
const QByteArray kProbe = frame(10, 16);

struct Session {
  explicit Session(QStringList arguments, QString name = QStringLiteral("ostrel-sim0"))
      : sim(std::move(arguments), std::move(name)) {}

  // Starts the simulator and opens its port.
  ::testing::AssertionResult open() {
    QString error;
    if (!sim.start(&error)) return ::testing::AssertionFailure() << error.toStdString();
    if (!line.open(sim.linkPath(), &error)) return ::testing::AssertionFailure() << error.toStdString();
    return ::testing::AssertionSuccess();
  }

  // Writes frames, checks that the simulator echoes each exactly, and returns
  // everything the line carried back up to and including the answer to a
  // final MCU probe. Any answer the monitor should not have given shows up as
  // extra bytes before the probe's answer.
  QByteArray exchange(const std::vector<QByteArray>& frames, const QByteArray& probeAnswer) {
    std::vector<QByteArray> all = frames;
    all.push_back(kProbe);
    for (const QByteArray& f : all) {
      EXPECT_TRUE(line.write(f));
      EXPECT_EQ(sim.nextOutputLine(kWait), f) << sim.diagnostics().toStdString();
    }
    QByteArray got;
    waitUntil(
        [&] {
          got += line.read(1, 50);
          return got.endsWith(probeAnswer);
        },
        kWait);
    return got;
  }

  SimProcess sim;
  TerminalClient line;
};

QByteArray joined(const std::vector<QByteArray>& parts) {
  QByteArray out;
  for (const QByteArray& p : parts) out += p;
  return out;
}

TEST(SimulatorPort, PublishesAPseudoTerminalLinkInThePrivatePortDirectory) {
  const struct {
    QStringList arguments;
    QString name;
  } cases[] = {
      {{}, QStringLiteral("ostrel-sim0")},
      {{QStringLiteral("--name"), QStringLiteral("bench_monitor-2")}, QStringLiteral("bench_monitor-2")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    SimProcess sim(c.arguments, c.name);
    QString error;
    ASSERT_TRUE(sim.start(&error)) << error.toStdString();
    const QFileInfo link(sim.linkPath());
    EXPECT_EQ(link.absolutePath(), platform::virtualPortDirectoryPath());
    ASSERT_TRUE(link.isSymLink());
    EXPECT_TRUE(link.symLinkTarget().startsWith(QStringLiteral("/dev/pts/"))) << link.symLinkTarget().toStdString();
    struct stat target {};
    ASSERT_EQ(::stat(QFile::encodeName(sim.linkPath()).constData(), &target), 0);
    EXPECT_TRUE(S_ISCHR(target.st_mode));
    for (const QString& dir :
         {platform::virtualPortDirectoryPath(), QFileInfo(platform::virtualPortDirectoryPath()).absolutePath()}) {
      struct stat st {};
      ASSERT_EQ(::lstat(QFile::encodeName(dir).constData(), &st), 0) << dir.toStdString();
      EXPECT_TRUE(S_ISDIR(st.st_mode));
      EXPECT_EQ(st.st_mode & 0777, 0700u) << dir.toStdString();
      EXPECT_EQ(st.st_uid, ::geteuid());
    }
  }
}

TEST(SimulatorProtocol, ReportsWhatWasSetForEachMcuVersion) {
  // Values chosen to differ from any default, so a report proves the set.
  const std::vector<QByteArray> sets = {frame(1, 7), frame(2, 3), frame(4, 2), frame(7, 2), frame(8, 40), frame(9, 80)};
  const struct {
    QStringList arguments;
    const char* prefix;
    int mcu;
  } cases[] = {
      {{QStringLiteral("--mcu"), QStringLiteral("16")}, "F0", 16},
      {{QStringLiteral("--mcu"), QStringLiteral("32"), QStringLiteral("--report-prefix"), QStringLiteral("00")},
       "00",
       32},
      {{}, "F0", 48},
      {{QStringLiteral("--report-prefix"), QStringLiteral("00")}, "00", 48},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mcu);
    SCOPED_TRACE(c.prefix);
    Session s(c.arguments);
    ASSERT_TRUE(s.open());
    // Reads of every identifier Ostrel may send, and of some it never does.
    std::vector<QByteArray> frames = sets;
    for (int id : {1, 2, 3, 4, 7, 8, 9, 17, 5, 0}) frames.push_back(frame(10, id));
    std::vector<QByteArray> expected = {reportFrame(c.prefix, 1, 7), reportFrame(c.prefix, 2, 3),
                                        reportFrame(c.prefix, 3, 3), reportFrame(c.prefix, 4, 2)};
    if (c.mcu == 48) {
      expected.push_back(reportFrame(c.prefix, 7, 2));
      expected.push_back(reportFrame(c.prefix, 8, 40));
      expected.push_back(reportFrame(c.prefix, 9, 80));
    }
    expected.push_back(reportFrame(c.prefix, 16, c.mcu));
    EXPECT_EQ(s.exchange(frames, reportFrame(c.prefix, 16, c.mcu)), joined(expected))
        << s.sim.diagnostics().toStdString();
  }
}

TEST(SimulatorProtocol, NotifiesEachSetWithTheValueNowInEffect) {
  const struct {
    int mcu;
    QByteArray sent;
    QByteArray notice;  // empty: no notice expected
  } steps[] = {
      {48, frame(1, 3), frame(1, 3)},
      {48, frame(1, 0x0C), frame(1, 3)},  // out of range: the panel keeps 3 and says so
      {48, frame(2, 4), frame(2, 4)},
      {48, frame(2, 1), frame(2, 4)},
      {48, frame(4, 5), frame(4, 5)},
      {48, frame(7, 3), frame(7, 3)},
      {48, frame(8, 100), frame(8, 100)},
      {48, frame(9, 0), frame(9, 0)},
      {48, frame(9, 101), frame(9, 0)},
      {48, frame(3, 1), {}},  // refresh changes nothing
      {48, frame(5, 0), {}},  // clock sync changes nothing
      {48, frame(0x55, 1), {}},
      {16, frame(1, 9), frame(1, 9)},
      {16, frame(7, 1), {}},  // no front light
      {16, frame(9, 50), {}},
  };
  for (int mcu : {48, 16}) {
    SCOPED_TRACE(mcu);
    Session s({QStringLiteral("--notify"), QStringLiteral("--mcu"), QString::number(mcu)});
    ASSERT_TRUE(s.open());
    std::vector<QByteArray> sent;
    QByteArray expected;
    for (const auto& step : steps) {
      if (step.mcu != mcu) continue;
      sent.push_back(step.sent);
      expected += step.notice;
    }
    const QByteArray probeAnswer = reportFrame("F0", 16, mcu);
    EXPECT_EQ(s.exchange(sent, probeAnswer), expected + probeAnswer) << s.sim.diagnostics().toStdString();
  }
}

TEST(SimulatorProtocol, ReassemblesFramesHoweverTheLineCutsThem) {
  const QByteArray probe = kProbe;
  const QByteArray contrast = frame(10, 1);
  const struct {
    const char* what;
    std::vector<QByteArray> writes;  // written with a pause between them
    std::vector<QByteArray> frames;  // what the simulator must recognise
  } cases[] = {
      {"one frame in three reads", {probe.left(5), probe.mid(5, 10), probe.mid(15)}, {probe}},
      {"head cut in the middle", {probe.left(2), probe.mid(2)}, {probe}},
      {"three frames in one read", {probe + contrast + probe}, {probe, contrast, probe}},
      {"a frame and a half, then the rest", {probe + contrast.left(12), contrast.mid(12)}, {probe, contrast}},
      {"noise before a frame", {"AT\r\n" + probe}, {probe}},
      {"a frame cut short by the next", {probe.left(10) + contrast}, {contrast}},
      {"lower-case hex", {probe.toLower()}, {probe.toLower()}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Session s({});
    ASSERT_TRUE(s.open());
    for (const QByteArray& w : c.writes) {
      ASSERT_TRUE(s.line.write(w));
      QThread::msleep(60);
    }
    QByteArray expectedReplies;
    for (const QByteArray& f : c.frames) {
      EXPECT_EQ(s.sim.nextOutputLine(kWait), f);
      expectedReplies += f.toUpper() == probe ? reportFrame("F0", 16, 48) : reportFrame("F0", 1, 5);
    }
    EXPECT_EQ(s.line.read(expectedReplies.size(), kWait), expectedReplies);
    // Nothing more was recognised: the next frame echoed is the next one sent.
    ASSERT_TRUE(s.line.write(contrast));
    EXPECT_EQ(s.sim.nextOutputLine(kWait), contrast);
  }
}

TEST(SimulatorProtocol, SplitModeSendsEveryMessageInPiecesThatStillAddUp) {
  Session s({QStringLiteral("--split"), QStringLiteral("--seed"), QStringLiteral("7")});
  ASSERT_TRUE(s.open());
  const std::vector<QByteArray> reads = {frame(10, 1), frame(10, 2), frame(10, 4), frame(10, 16)};
  const QByteArray expected =
      reportFrame("F0", 1, 5) + reportFrame("F0", 2, 2) + reportFrame("F0", 4, 3) + reportFrame("F0", 16, 48);
  QElapsedTimer clock;
  clock.start();
  for (const QByteArray& r : reads) ASSERT_TRUE(s.line.write(r));
  std::vector<qsizetype> chunks;
  EXPECT_EQ(s.line.read(expected.size(), kWait, &chunks), expected);
  // Every message is cut at least once with a pause of 25 ms or more before
  // its next piece, so four messages cannot all be out in under 100 ms, and a
  // reader that takes what is there sees pieces shorter than a message.
  EXPECT_GE(clock.elapsed(), 100);
  EXPECT_GT(chunks.size(), reads.size());
  EXPECT_LT(*std::min_element(chunks.begin(), chunks.end()), 24);
}

TEST(SimulatorProtocol, ReplyDelayHoldsBackTheAnswer) {
  Session s({QStringLiteral("--reply-delay"), QStringLiteral("400")});
  ASSERT_TRUE(s.open());
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(s.line.write(kProbe));
  EXPECT_EQ(s.line.read(24, kWait), reportFrame("F0", 16, 48));
  EXPECT_GE(clock.elapsed(), 400);
}

TEST(SimulatorConsole, InputCommandsSendTheirEventFrames) {
  const struct {
    const char* command;
    int event;
  } cases[] = {
      {"key pagedown", 1}, {"key pageup", 2}, {"key down", 3},    {"key up", 4},          {"key delete", 5},
      {"move left", 7},    {"move right", 8}, {"move down", 9},   {"move up", 10},        {"click left", 11},
      {"click right", 12}, {"long up", 16},   {"long down", 17},  {"long right", 18},     {"long left", 19},
      {"long stop", 20},   {"event 0", 0},    {"event 255", 255}, {"  Key   PageUp ", 2}, {"event 021", 21},
  };
  Session s({});
  ASSERT_TRUE(s.open());
  QByteArray expected;
  for (const auto& c : cases) {
    s.sim.command(c.command);
    expected += frame(6, c.event);
  }
  EXPECT_EQ(s.line.read(expected.size(), kWait), expected) << s.sim.diagnostics().toStdString();
  EXPECT_TRUE(s.line.drain(200).isEmpty());
}

TEST(SimulatorConsole, BadCommandsAreExplainedAndSendNothing) {
  const struct {
    const char* command;
    const char* explanation;
  } cases[] = {
      {"key home", "key: unknown choice \"home\"; expected pagedown|pageup|down|up|delete"},
      {"move", "usage: move left|right|down|up"},
      {"click middle", "expected left|right"},
      {"long sideways", "expected up|down|right|left|stop"},
      {"event 256", "from 0 to 255"},
      {"event -1", "from 0 to 255"},
      {"event 0x10", "from 0 to 255"},
      {"set contrast", "usage: set contrast|mode|speed|light|temperature|brightness VALUE"},
      {"set volume 3", "unknown setting \"volume\""},
      {"set contrast ten", "\"ten\" is not a decimal number"},
      {"set contrast 10", "contrast threshold 10 is out of range 1-9; kept 5"},
      {"set mode 1", "image mode 1 is out of range 2-4"},
      {"set brightness 101", "out of range 0-100"},
      {"raw", "raw needs the text to send"},
      {"quit now", "quit takes no arguments"},
      {"frobnicate", "unknown command \"frobnicate\""},
  };
  Session s({});
  ASSERT_TRUE(s.open());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    s.sim.command(c.command);
    EXPECT_TRUE(s.sim.waitForDiagnostic(QString::fromUtf8(c.explanation), kWait)) << s.sim.diagnostics().toStdString();
  }
  s.sim.command("event 20");
  EXPECT_EQ(s.line.read(24, kWait), frame(6, 20));
  EXPECT_TRUE(s.line.drain(200).isEmpty());
  EXPECT_EQ(s.sim.process().state(), QProcess::Running);
}

TEST(SimulatorConsole, SetAnnouncesTheChangeAndReadsReportIt) {
  const struct {
    const char* command;
    int code;
    int value;
    int identifier;
  } cases[] = {
      {"set contrast 8", 1, 8, 1}, {"set mode 4", 2, 4, 2},        {"set speed 1", 4, 1, 4},
      {"set light 3", 7, 3, 7},    {"set temperature 0", 8, 0, 8}, {"set brightness 100", 9, 100, 9},
  };
  Session s({});
  ASSERT_TRUE(s.open());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    s.sim.command(c.command);
    EXPECT_EQ(s.line.read(24, kWait), frame(c.code, c.value));
    ASSERT_TRUE(s.line.write(frame(10, c.identifier)));
    EXPECT_EQ(s.line.read(24, kWait), reportFrame("F0", c.identifier, c.value));
  }
  // A monitor without a front light has nothing to set.
  Session small({QStringLiteral("--mcu"), QStringLiteral("32"), QStringLiteral("--name"), QStringLiteral("small")},
                QStringLiteral("small"));
  ASSERT_TRUE(small.open());
  small.sim.command("set light 1");
  EXPECT_TRUE(small.sim.waitForDiagnostic(QStringLiteral("has no front light"), kWait));
  small.sim.command("set contrast 2");
  EXPECT_EQ(small.line.read(24, kWait), frame(1, 2));
}

TEST(SimulatorConsole, RawTextGoesOutUnchanged) {
  Session s({QStringLiteral("--split")});
  ASSERT_TRUE(s.open());
  const QByteArray text = "5FF5F00A1030 00000000A0FA  and\tmore";
  s.sim.command("raw " + text);
  EXPECT_EQ(s.line.read(text.size(), kWait), text);
}

TEST(SimulatorAdapter, UnplugHangsUpAndRemovesThePortReplugBringsItBack) {
  Session s({});
  ASSERT_TRUE(s.open());

  s.sim.command("unplug");
  EXPECT_TRUE(s.line.waitForHangup(kWait));
  EXPECT_TRUE(waitUntil([&] { return !QFileInfo(s.sim.linkPath()).isSymLink(); }, kWait));
  EXPECT_TRUE(QDir(platform::virtualPortDirectoryPath())
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                  .isEmpty());
  s.sim.command("key up");
  EXPECT_TRUE(s.sim.waitForDiagnostic(QStringLiteral("the adapter is unplugged; not sent"), kWait));
  s.line.close();

  s.sim.command("replug");
  ASSERT_TRUE(s.sim.waitForDiagnostic(QStringLiteral("plugged in at"), kWait));
  const QFileInfo link(s.sim.linkPath());
  ASSERT_TRUE(link.isSymLink());
  EXPECT_TRUE(link.symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
  QString error;
  ASSERT_TRUE(s.line.open(s.sim.linkPath(), &error)) << error.toStdString();
  ASSERT_TRUE(s.line.write(kProbe));
  EXPECT_EQ(s.line.read(24, kWait), reportFrame("F0", 16, 48));
}

TEST(SimulatorAdapter, ThePortStaysUpWhileTheReaderClosesAndReopens) {
  Session s({});
  ASSERT_TRUE(s.open());
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    s.line.close();
    QThread::msleep(50);
    QString error;
    ASSERT_TRUE(s.line.open(s.sim.linkPath(), &error)) << error.toStdString();
    ASSERT_TRUE(s.line.write(kProbe));
    EXPECT_EQ(s.line.read(24, kWait), reportFrame("F0", 16, 48));
  }
  EXPECT_FALSE(s.sim.diagnostics().contains(QStringLiteral("the line failed")));
}

TEST(SimulatorAdapter, AClosedPortLosesWhatTheMonitorSends) {
  Session s({});
  QString error;
  ASSERT_TRUE(s.sim.start(&error)) << error.toStdString();
  // Nobody has the port open: a real adapter's driver drops what arrives.
  s.sim.command("key up");
  EXPECT_TRUE(
      s.sim.waitForDiagnostic(QStringLiteral("the port is not open, so this is lost as with a real adapter"), kWait));

  // Sent while open but never read, then the reader goes away: gone too.
  ASSERT_TRUE(s.line.open(s.sim.linkPath(), &error)) << error.toStdString();
  s.sim.command("key pageup");
  ASSERT_TRUE(s.sim.waitForDiagnostic(QStringLiteral("sending 5FF50602000000000000A0FA"), kWait));
  QThread::msleep(100);
  s.line.close();
  ASSERT_TRUE(s.sim.waitForDiagnostic(QStringLiteral("the port was closed"), kWait));

  ASSERT_TRUE(s.line.open(s.sim.linkPath(), &error)) << error.toStdString();
  EXPECT_TRUE(s.sim.waitForDiagnostic(QStringLiteral("the port was opened"), kWait));
  s.sim.command("key down");
  EXPECT_EQ(s.line.read(24, kWait), frame(6, 3));
  EXPECT_TRUE(s.line.drain(200).isEmpty());
}

TEST(SimulatorAdapter, ExclusiveUseEndsWithTheLastClose) {
  Session s({});
  ASSERT_TRUE(s.open());
  const int fd = ::open(QFile::encodeName(s.sim.linkPath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);
  ::close(fd);
  s.line.close();
  ASSERT_TRUE(s.sim.waitForDiagnostic(QStringLiteral("the port was closed"), kWait));
  // Only privileged users could open a line still marked exclusive; the flag
  // itself tells whether everybody else could.
  QString error;
  ASSERT_TRUE(s.line.open(s.sim.linkPath(), &error)) << error.toStdString();
  int exclusive = -1;
  ASSERT_EQ(::ioctl(s.line.fd(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
}

TEST(SimulatorLifetime, EndsCleanlyAndTakesItsPortAlong) {
  enum class Stop { Terminate, Interrupt, Hangup, QuitCommand, EndOfInputWhenAsked };
  const struct {
    const char* what;
    Stop how;
  } cases[] = {
      {"SIGTERM", Stop::Terminate},
      {"SIGINT", Stop::Interrupt},
      {"SIGHUP", Stop::Hangup},
      {"quit", Stop::QuitCommand},
      {"--exit-on-eof", Stop::EndOfInputWhenAsked},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QStringList arguments;
    if (c.how == Stop::EndOfInputWhenAsked) arguments << QStringLiteral("--exit-on-eof");
    Session s(arguments);
    ASSERT_TRUE(s.open());
    const auto pid = static_cast<pid_t>(s.sim.process().processId());
    switch (c.how) {
      case Stop::Terminate:
        ::kill(pid, SIGTERM);
        break;
      case Stop::Interrupt:
        ::kill(pid, SIGINT);
        break;
      case Stop::Hangup:
        ::kill(pid, SIGHUP);
        break;
      case Stop::QuitCommand:
        s.sim.command("quit");
        break;
      case Stop::EndOfInputWhenAsked:
        s.sim.closeInput();
        break;
    }
    ASSERT_TRUE(s.sim.waitForExit(kWait));
    EXPECT_EQ(s.sim.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(s.sim.process().exitCode(), 0);
    EXPECT_FALSE(QFileInfo(s.sim.linkPath()).isSymLink());
    EXPECT_TRUE(s.line.waitForHangup(kWait));
  }
}

TEST(SimulatorLifetime, KeepsRunningAfterEndOfInputByDefault) {
  Session s({});
  ASSERT_TRUE(s.open());
  s.sim.closeInput();
  ASSERT_TRUE(s.sim.waitForDiagnostic(QStringLiteral("standard input ended; still running"), kWait));
  ASSERT_TRUE(s.line.write(kProbe));
  EXPECT_EQ(s.line.read(24, kWait), reportFrame("F0", 16, 48));
  EXPECT_EQ(s.sim.process().state(), QProcess::Running);
}

TEST(SimulatorLifetime, RefusesBadOptionsWithTheReason) {
  const struct {
    QStringList arguments;
    const char* reason;
  } cases[] = {
      {{QStringLiteral("--mcu"), QStringLiteral("20")}, "--mcu must be 16, 32 or 48, not \"20\""},
      {{QStringLiteral("--mcu"), QStringLiteral("forty")}, "--mcu must be 16, 32 or 48"},
      {{QStringLiteral("--name"), QStringLiteral("a/b")}, "--name must be"},
      {{QStringLiteral("--name"), QStringLiteral(".hidden")}, "not starting with '.'"},
      {{QStringLiteral("--name"), QString()}, "--name must be"},
      {{QStringLiteral("--reply-delay"), QStringLiteral("-5")},
       "--reply-delay must be a number of milliseconds from 0 to 60000"},
      {{QStringLiteral("--reply-delay"), QStringLiteral("70000")}, "--reply-delay must be"},
      {{QStringLiteral("--report-prefix"), QStringLiteral("FF")}, "--report-prefix must be F0 or 00, not \"FF\""},
      {{QStringLiteral("--seed"), QStringLiteral("x")}, "--seed must be"},
      {{QStringLiteral("--colour")}, "Unknown option 'colour'"},
      {{QStringLiteral("extra")}, "unexpected argument \"extra\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
    SimProcess sim(c.arguments);
    ASSERT_TRUE(sim.runToExit(kWait));
    EXPECT_EQ(sim.process().exitCode(), 2);
    EXPECT_TRUE(sim.diagnostics().contains(QString::fromUtf8(c.reason))) << sim.diagnostics().toStdString();
    EXPECT_FALSE(QFileInfo::exists(platform::virtualPortDirectoryPath() + QStringLiteral("/ostrel-sim0")));
  }
}

TEST(SimulatorLifetime, ReplacesALeftoverLinkButNeverALiveOne) {
  QString error;
  ASSERT_TRUE(platform::ensureVirtualPortDirectory(&error)) << error.toStdString();
  const QString link = linkPathFor(QStringLiteral("ostrel-sim0"));

  // Left behind by a simulator that was killed: points at nothing.
  ASSERT_EQ(::symlink("/dev/pts/987654", QFile::encodeName(link).constData()), 0);
  Session first({});
  ASSERT_TRUE(first.open());
  EXPECT_TRUE(first.sim.diagnostics().contains(QStringLiteral("replaced the stale link")));
  const QString live = QFileInfo(link).symLinkTarget();

  SimProcess second({});
  ASSERT_TRUE(second.runToExit(kWait));
  EXPECT_EQ(second.process().exitCode(), 1);
  EXPECT_TRUE(second.diagnostics().contains(QStringLiteral("already points at the terminal")))
      << second.diagnostics().toStdString();
  EXPECT_EQ(QFileInfo(link).symLinkTarget(), live);
  ASSERT_TRUE(first.line.write(kProbe));
  EXPECT_EQ(first.line.read(24, kWait), reportFrame("F0", 16, 48));

  // Not a link at all: somebody else's file, left alone.
  const QString plain = linkPathFor(QStringLiteral("plain"));
  {
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep me");
  }
  SimProcess third({QStringLiteral("--name"), QStringLiteral("plain")}, QStringLiteral("plain"));
  ASSERT_TRUE(third.runToExit(kWait));
  EXPECT_EQ(third.process().exitCode(), 1);
  EXPECT_TRUE(third.diagnostics().contains(QStringLiteral("exists and is not a symbolic link")));
  QFile f(plain);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("keep me"));
}

}  // namespace
}  // namespace ostrel::simtest
