#include "MonitorTestSupport.h"

#include "common/Log.h"
#include "monitor/MonitorState.h"
#include "monitor/PelSerialPortHelper.h"
#include "monitor/UtilsPelSerialPortsValue.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

namespace {

using ostrel::PelSerialPortRef;
using ostrel::UtilsPelSerialPortsValue;
using ostrel::test::Clock;
using ostrel::test::FakeSerialPort;
using ostrel::test::RecordingViewController;
using ms = std::chrono::milliseconds;

const QByteArray kProbe = "5FF50A10000000000000A0FA";

long long millisBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration_cast<ms>(b - a).count();
}

// The connection object with a main window that behaves like the real one on
// updateMainViewContent: make position 0 current and read its parameters back,
// paced as the monitor needs.
struct DiscoveryRig {
  ostrel::test::CleanMonitorState clean;
  QList<std::shared_ptr<FakeSerialPort>> ports;
  UtilsPelSerialPortsValue utils;
  std::shared_ptr<RecordingViewController> view = std::make_shared<RecordingViewController>();
  std::shared_ptr<QList<PelSerialPortRef>> availablePortsmutableArr = std::make_shared<QList<PelSerialPortRef>>();
  bool readBack = false;

  DiscoveryRig() {
    utils.setAvailablePortsSource([this] {
      QList<PelSerialPortRef> out;
      for (const auto& p : ports) out << p;
      return out;
    });
    view->onUpdateMainViewContent = [this] {
      utils.currentDisplayPort(0);
      if (!readBack || ostrel::caluPortsArr->isEmpty()) return;
      utils.runPacedSequence({{[this] { utils.sendCommand(10, 1); }, 330},
                              {[this] { utils.sendCommand(10, 2); }, 330},
                              {[this] { utils.sendCommand(10, 4); }, 330}});
    };
    utils.startPinAvailablePorts(availablePortsmutableArr, view);
  }

  // A pass, until it has opened the ports it probes: which devices other
  // programs hold is looked up off the main thread, and the ports open one per
  // turn of the event loop.
  void pass() {
    utils.startPin();
    EXPECT_TRUE(ostrel::test::waitUntil([this] { return !utils.portsOpening(); }));
  }

  std::shared_ptr<FakeSerialPort> add(const QString& name, int mcuVersion) {
    auto p = FakeSerialPort::create(name);
    if (mcuVersion) p->answerProbeWithMCUVersion(mcuVersion);
    ports << p;
    return p;
  }

  static std::optional<Clock::time_point> probedAt(const FakeSerialPort& p) {
    for (const auto& w : p.writes())
      if (w.bytes == kProbe) return w.at;
    return std::nullopt;
  }
};

TEST(Discovery, InitSerialPortsTellsWhenThereAreNoPorts) {
  const QString kNone = "No connected serial ports found. Please connect your USB to serial adapter(s) and run the "
                        "program again.\n\n";
  for (const int count : {0, 1, 3}) {
    DiscoveryRig rig;
    for (int i = 0; i < count; ++i) rig.add(QStringLiteral("ttyFAKE%1").arg(i), 0);
    ostrel::LogCapture capture;
    rig.utils.initSerialPorts();
    EXPECT_EQ(capture.lines(), count == 0 ? QStringList{kNone} : QStringList{}) << count;
  }
}

TEST(Discovery, TheMainWindowsListIsTheMonitorList) {
  DiscoveryRig rig;
  EXPECT_EQ(ostrel::caluPortsArr, rig.availablePortsmutableArr);
  EXPECT_EQ(ostrel::mainViewController, rig.view);
  auto port = rig.add("ttyUSB0", 32);
  rig.utils.startPin();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !rig.availablePortsmutableArr->isEmpty(); }));
  EXPECT_EQ(rig.availablePortsmutableArr->first(), port);
}

TEST(Discovery, APassWithoutPortsEmptiesTheListAndStops) {
  DiscoveryRig rig;
  auto stale = FakeSerialPort::create("ttyOLD");
  *ostrel::caluPortsArr = {stale};
  auto previousHelper = std::make_shared<ostrel::PelSerialPortHelper>();
  ostrel::serialPortHelper = previousHelper;
  ostrel::LogCapture capture;
  rig.utils.startPin();
  EXPECT_EQ(capture.lines(), QStringList{"startPin error end return"});
  EXPECT_TRUE(ostrel::caluPortsArr->isEmpty());
  EXPECT_EQ(ostrel::caluPortsArr, rig.availablePortsmutableArr);
  ASSERT_NE(ostrel::serialPortHelper, nullptr);
  EXPECT_NE(ostrel::serialPortHelper, previousHelper);
}

TEST(Discovery, APassProbesEveryPortAfterItSettledAndAcceptsTheMonitors) {
  DiscoveryRig rig;
  auto a = rig.add("ttyA", 48);
  auto b = rig.add("ttyB", 0);
  auto c = rig.add("ttyC", 8);
  auto d = rig.add("ttyD", 16);
  ostrel::LogCapture capture;
  rig.pass();

  // Opening starts at once and goes in the manager's order, with the helper as
  // delegate; nothing is written before the last port is open.
  QStringList openingLines = {"startPin availablePorts.count = 4"};
  for (const char* name : {"ttyA", "ttyB", "ttyC", "ttyD"}) {
    openingLines << QStringLiteral("startPinAvailablePorts11111 %1").arg(name)
                 << QStringLiteral("startPinAvailablePorts11111 %1").arg(name)
                 << QStringLiteral("Discovery: %1 (/dev/%1): probed").arg(name);
  }
  EXPECT_EQ(capture.lines(), openingLines);
  for (const auto& p : {a, b, c, d}) {
    EXPECT_TRUE(p->isOpen());
    EXPECT_EQ(p->delegate(), ostrel::serialPortHelper);
    EXPECT_TRUE(p->frames().isEmpty()) << "no probe before the port settled";
  }
  EXPECT_EQ(ostrel::serialPortHelper->serialPort(), d);

  ASSERT_TRUE(ostrel::test::waitUntil([&] { return ostrel::caluPortsArr->size() == 2; }));
  EXPECT_EQ(*ostrel::caluPortsArr, (QList<PelSerialPortRef>{a, d}));
  EXPECT_EQ(ostrel::currentPort.load(), a);
  EXPECT_EQ(ostrel::currentMCUVersion, 16);
  EXPECT_EQ(rig.view->calls, (QStringList{"updateViewCurrentMCUVersion(48)", "updateMainViewContent()",
                                          "updateViewCurrentMCUVersion(16)", "updateMainViewContent()"}));
  for (const auto& p : {a, b, c, d}) {
    SCOPED_TRACE(p->name().toStdString());
    EXPECT_EQ(p->frames(), QList<QByteArray>{kProbe});
    ASSERT_TRUE(p->firstOpenAt() && DiscoveryRig::probedAt(*p));
    EXPECT_GE(millisBetween(*p->firstOpenAt(), *DiscoveryRig::probedAt(*p)), 330);
  }
  QStringList probeLines;
  for (const char* name : {"ttyA", "ttyB", "ttyC", "ttyD"}) {
    probeLines << QStringLiteral("startPinAvailablePorts  获取参数--MCU版本号")
               << QStringLiteral("startPinAvailablePorts serialPort,fileDr %1").arg(name) << "startPinAvailablePorts"
               << "startPinAvailablePorts  end222222222";
  }
  EXPECT_EQ(capture.lines().mid(openingLines.size(), probeLines.size()), probeLines);
}

TEST(Discovery, ThePortsOpenOnePerTurnOfTheEventLoop) {
  DiscoveryRig rig;
  QList<std::shared_ptr<FakeSerialPort>> ports;
  for (int i = 0; i < 5; ++i) ports << rig.add(QStringLiteral("ttyT%1").arg(i), 0);
  // Whatever else the window has to do gets its turns while the ports open.
  std::vector<Clock::time_point> turns;
  QTimer other;
  QObject::connect(&other, &QTimer::timeout, [&] { turns.push_back(Clock::now()); });
  other.start(0);
  rig.pass();
  other.stop();
  for (qsizetype i = 1; i < ports.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(ports[i - 1]->firstOpenAt() && ports[i]->firstOpenAt());
    const auto between = [&](Clock::time_point t) {
      return t > *ports[i - 1]->firstOpenAt() && t < *ports[i]->firstOpenAt();
    };
    EXPECT_TRUE(std::any_of(turns.begin(), turns.end(), between)) << "no turn between two opens";
  }
  for (const auto& p : ports) EXPECT_TRUE(p->isOpen());
}

TEST(Discovery, StepsAskedForWhileAPassOpensComeAfterItsProbe) {
  DiscoveryRig rig;
  auto monitor = rig.add("ttyMON", 48);
  for (int i = 0; i < 3; ++i) rig.add(QStringLiteral("ttyQ%1").arg(i), 0);
  rig.utils.startPin();
  ASSERT_TRUE(rig.utils.portsOpening());
  std::optional<Clock::time_point> ran;
  rig.utils.runPacedSequence({{[&] { ran = Clock::now(); }, 0}});
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return ran.has_value(); }));
  const std::optional<Clock::time_point> probed = DiscoveryRig::probedAt(*monitor);
  ASSERT_TRUE(probed) << "the step ran before the probe";
  EXPECT_GE(millisBetween(*probed, *ran), 330) << "the probe's spacing holds for the step";
}

TEST(Discovery, UnansweredProbesReleaseTheirPortsAfterTwoSeconds) {
  DiscoveryRig rig;
  auto monitor = rig.add("ttyMON", 32);
  auto silent = rig.add("ttySILENT", 0);
  auto other = rig.add("ttyOTHER", 49);
  ostrel::LogCapture capture;
  rig.pass();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !silent->isOpen() && !other->isOpen(); }, 6000));
  for (const auto& p : {silent, other}) {
    SCOPED_TRACE(p->name().toStdString());
    ASSERT_TRUE(p->closedAt() && DiscoveryRig::probedAt(*p));
    EXPECT_GE(millisBetween(*DiscoveryRig::probedAt(*p), *p->closedAt()), 2000);
    EXPECT_TRUE(capture.contains(QStringLiteral("startPin closing %1: no monitor answered the probe").arg(p->name())));
  }
  EXPECT_TRUE(monitor->isOpen());
  EXPECT_EQ(*ostrel::caluPortsArr, QList<PelSerialPortRef>{monitor});

  // The next pass, for a device plugged in again, probes it anew; the monitor
  // answers again, so the port that was there all along is left alone.
  silent->answerProbeWithMCUVersion(48);
  rig.utils.noteArrivals({silent});
  rig.pass();
  EXPECT_TRUE(silent->isOpen());
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return ostrel::caluPortsArr->size() == 2; }));
  EXPECT_EQ(silent->frames(), (QList<QByteArray>{kProbe, kProbe}));
  EXPECT_EQ(*ostrel::caluPortsArr, (QList<PelSerialPortRef>{monitor, silent})) << "the monitor is listed once";
  ASSERT_TRUE(ostrel::test::waitUntil(
      [&] { return capture.contains("Discovery: ttyOTHER (/dev/ttyOTHER): left alone: a monitor is known"); }));
  EXPECT_FALSE(other->isOpen());
  EXPECT_EQ(other->frames(), QList<QByteArray>{kProbe});
}

TEST(Discovery, ANewPassSupersedesOneStillWaitingToProbe) {
  DiscoveryRig rig;
  auto monitor = rig.add("ttyMON", 48);
  auto silent = rig.add("ttySILENT", 0);
  rig.utils.startPin();
  rig.utils.startPin();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !ostrel::caluPortsArr->isEmpty(); }));
  ostrel::test::spinFor(500);
  EXPECT_EQ(monitor->frames(), QList<QByteArray>{kProbe});
  EXPECT_EQ(silent->frames(), QList<QByteArray>{kProbe});
  EXPECT_EQ(*ostrel::caluPortsArr, QList<PelSerialPortRef>{monitor});
}

TEST(Discovery, RediscoveryKeepsTheSpacingOnTheMonitorsLine) {
  DiscoveryRig rig;
  rig.readBack = true;
  auto monitor = rig.add("ttyMON", 48);
  rig.pass();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return monitor->frames().size() >= 2; }));
  // A device is plugged in while the read-back is still going: the monitor
  // stays listed while it is asked again.
  rig.pass();
  EXPECT_EQ(*ostrel::caluPortsArr, QList<PelSerialPortRef>{monitor});
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return monitor->frames().size() == 8; }, 8000));
  const auto writes = monitor->writes();
  QList<QByteArray> frames;
  for (const auto& w : writes) frames << w.bytes;
  const QByteArray ask1 = "5FF50A01000000000000A0FA", ask2 = "5FF50A02000000000000A0FA", ask4 = "5FF50A04000000000000A0FA";
  EXPECT_EQ(frames, (QList<QByteArray>{kProbe, ask1, ask2, ask4, kProbe, ask1, ask2, ask4}));
  for (size_t i = 1; i < writes.size(); ++i)
    EXPECT_GE(millisBetween(writes[i - 1].at, writes[i].at), 330) << "between frame " << i - 1 << " and " << i;
  EXPECT_EQ(*ostrel::caluPortsArr, QList<PelSerialPortRef>{monitor});
}

TEST(Discovery, APortThatThrowsDoesNotStopTheOthers) {
  DiscoveryRig rig;
  auto bad = rig.add("ttyBAD", 48);
  bad->setThrowOnOpen(true);
  auto good = rig.add("ttyGOOD", 32);
  ostrel::LogCapture capture;
  rig.pass();
  EXPECT_EQ(capture.lines().mid(1, 5),
            (QStringList{"startPinAvailablePorts11111 ttyBAD", "startPinAvailablePorts11111 ttyBAD",
                         "ttyBAD serial port operate error is device refused the open", "startPinAvailablePorts",
                         "startPinAvailablePorts  end222222222"}));
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !ostrel::caluPortsArr->isEmpty(); }));
  EXPECT_EQ(*ostrel::caluPortsArr, QList<PelSerialPortRef>{good});
  EXPECT_TRUE(bad->frames().isEmpty());
}

TEST(Discovery, APortThatFailsToOpenIsReportedAndNotAccepted) {
  DiscoveryRig rig;
  auto busy = rig.add("ttyBUSY", 48);
  busy->setOpenFails(true);
  ostrel::LogCapture capture;
  rig.utils.startPin();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !capture.lines().filter("serialPort:didEncounterError:").isEmpty(); }));
  ostrel::test::spinFor(600);
  EXPECT_TRUE(ostrel::caluPortsArr->isEmpty());
  EXPECT_TRUE(busy->frames().isEmpty());
}

TEST(Discovery, RemovalMovesToTheNextMonitorOrLeavesTheLastOneCurrent) {
  DiscoveryRig rig;
  auto first = rig.add("ttyFIRST", 48);
  auto second = rig.add("ttySECOND", 32);
  rig.utils.startPin();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return ostrel::caluPortsArr->size() == 2; }));
  ASSERT_EQ(ostrel::currentPort.load(), first);

  first->removeFromSystem();
  EXPECT_EQ(*ostrel::caluPortsArr, QList<PelSerialPortRef>{second});
  EXPECT_EQ(ostrel::currentPort.load(), second);

  second->removeFromSystem();
  EXPECT_TRUE(ostrel::caluPortsArr->isEmpty());
  EXPECT_EQ(ostrel::currentPort.load(), second) << "the removed port stays current";
  EXPECT_FALSE(rig.utils.sendCommand(3, 1));
  EXPECT_EQ(ostrel::currentMCUVersion, 32) << "the version outlives the monitor";
}

TEST(Discovery, CurrentDisplayPortAcceptsOnlyPositionsInTheList) {
  const struct {
    std::int32_t index;
    int expected;  // index into the list, or -1 for "unchanged"
  } cases[] = {{0, 0}, {1, 1}, {2, -1}, {-1, -1}, {INT_MIN, -1}, {INT_MAX, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    DiscoveryRig rig;
    auto before = FakeSerialPort::create("ttyBEFORE");
    auto x = FakeSerialPort::create("ttyX");
    auto y = FakeSerialPort::create("ttyY");
    *ostrel::caluPortsArr = {x, y};
    ostrel::currentPort.store(before);
    ostrel::LogCapture capture;
    rig.utils.currentDisplayPort(c.index);
    QStringList want = {QStringLiteral("currentDisplayPort indexOfPortsArr = %1").arg(c.index),
                        "currentDisplayPort caluPortsArr.count = 2"};
    if (c.expected < 0) {
      want << QStringLiteral("currentDisplayPort 未找到匹配的设备应该显示不能调整");
      EXPECT_EQ(ostrel::currentPort.load(), before);
    } else {
      EXPECT_EQ(ostrel::currentPort.load(), ostrel::caluPortsArr->at(c.expected));
    }
    EXPECT_EQ(capture.lines(), want);
  }
}

}  // namespace
