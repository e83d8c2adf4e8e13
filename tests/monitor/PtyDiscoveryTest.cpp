// Discovery and the command path against real serial ports: pseudo-terminals
// published as virtual ports, listed by a port manager, opened and read by the
// real port; the test plays the monitor on the far end of each line, and real
// processes play the other programs that use serial lines.

#include "MonitorTestSupport.h"

#include "common/Log.h"
#include "common/MainThread.h"
#include "monitor/DeviceUsersLookup.h"
#include "monitor/MonitorState.h"
#include "monitor/UtilsPelSerialPortsValue.h"
#include "platform/posix/DeviceUsers.h"
#include "platform/posix/InotifyCloseWatch.h"
#include "platform/posix/VirtualPortBackend.h"
#include "serial/PelDeviceRegistry.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"
#include "support/ChildProcess.h"
#include "support/PseudoTerminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <algorithm>

namespace {

using ostrel::PelSerialPortRef;
using ostrel::test::PseudoTerminal;

const QByteArray kProbe = "5FF50A10000000000000A0FA";
const QByteArray kMonitorAnswer = "5FF5F00A103000000000A0FA";  // MCU version 48

// The real inotify watch, with what discovery asked of it and whether the port
// was open at each unwatch.
class RecordingCloseWatch : public ostrel::platform::DeviceCloseWatch {
 public:
  std::function<bool(const QString&)> portOpen;
  QStringList calls;
  bool openAtUnwatch = false;

  void setClosedHandler(ClosedHandler handler) override { real_->setClosedHandler(std::move(handler)); }
  bool watch(const QString& path, QString* whyNot) override {
    calls << QStringLiteral("watch ") + path;
    return real_->watch(path, whyNot);
  }
  void unwatch(const QString& path) override {
    calls << QStringLiteral("unwatch ") + path;
    if (portOpen && portOpen(path)) openAtUnwatch = true;
    real_->unwatch(path);
  }

 private:
  std::unique_ptr<ostrel::platform::DeviceCloseWatch> real_ = ostrel::platform::makeInotifyCloseWatch();
};

// Where closes cannot be watched (no inotify, too many watches).
class RefusingCloseWatch : public ostrel::platform::DeviceCloseWatch {
 public:
  void setClosedHandler(ClosedHandler) override {}
  bool watch(const QString&, QString* whyNot) override {
    if (whyNot) *whyNot = QStringLiteral("no inotify watches left");
    return false;
  }
  void unwatch(const QString&) override {}
};

// A port manager over the test's own virtual ports and a connection object
// with a main window that makes the first monitor current, as the real one does.
struct PtyRig {
  ostrel::test::CleanMonitorState clean;
  ostrel::PelDeviceRegistry registry;
  std::unique_ptr<ostrel::PelSerialPortManager> manager;
  ostrel::UtilsPelSerialPortsValue utils;
  std::shared_ptr<ostrel::test::RecordingViewController> view =
      std::make_shared<ostrel::test::RecordingViewController>();
  QString remembered;  // the monitor's adapter, as the preference file would keep it

  PtyRig() {
    registry.addBackend(ostrel::platform::makeVirtualPortBackend());
    manager = std::make_unique<ostrel::PelSerialPortManager>(registry);
    utils.setAvailablePortsSource([this] {
      QList<PelSerialPortRef> out;
      for (const auto& p : manager->availablePorts()) out << p;
      return out;
    });
    utils.setAdapterMemory({[this] { return remembered; }, [this](const QString& id) { remembered = id; }});
    view->onUpdateMainViewContent = [this] { utils.currentDisplayPort(0); };
    utils.startPinAvailablePorts(std::make_shared<QList<PelSerialPortRef>>(), view);
  }
  ~PtyRig() { manager->cleanupAllPortsForExit(); }

  // What the far end of `line` reads, `count` bytes, while discovery runs on
  // this thread's event loop.
  static QByteArray receive(PseudoTerminal& line, qsizetype count = 24) {
    QByteArray got;
    ostrel::test::waitUntil(
        [&] {
          got += line.read(count - got.size(), 5);
          return got.size() >= count;
        },
        10000);
    return got;
  }

  PelSerialPortRef port(const QString& path) const {
    for (const auto& p : manager->availablePorts())
      if (p->path() == path) return p;
    return nullptr;
  }
  // Waits until the manager lists `path`, as after a device was plugged in.
  PelSerialPortRef waitForPort(const QString& path) {
    ostrel::test::waitUntil([&] { return port(path) != nullptr; });
    return port(path);
  }
  // A hot-plug pass for the device at `path`, as the main window runs it.
  void plugged(const QString& path) {
    utils.noteArrivals({waitForPort(path)});
    utils.startPin();
  }
  static QString reasonFor(const QString& path) {
    for (const ostrel::PortProbeReport& r : ostrel::portProbeReports)
      if (r.path == path) return r.reason;
    return {};
  }
  bool accepted(const QString& path) const {
    return ostrel::test::waitUntil(
        [&] { return ostrel::caluPortsArr->size() == 1 && ostrel::caluPortsArr->first()->path() == path; });
  }
};

TEST(PtyDiscovery, FindsTheMonitorTalksToItAndLetsTheOtherLineGo) {
  PtyRig rig;
  rig.remembered = QStringLiteral("usb:1a86:7523:gone");  // a remembered adapter not plugged in: every port is asked
  ostrel::LogCapture quiet;
  PseudoTerminal monitorLine;
  PseudoTerminal otherLine;
  const QString monitorLink = monitorLine.publish(QStringLiteral("ttyMONITOR"));
  const QString otherLink = otherLine.publish(QStringLiteral("ttyOTHER"));
  ASSERT_FALSE(monitorLink.isEmpty());
  ASSERT_FALSE(otherLink.isEmpty());
  ASSERT_TRUE(rig.waitForPort(monitorLink) && rig.waitForPort(otherLink));

  rig.utils.startPin();
  EXPECT_EQ(PtyRig::receive(otherLine), kProbe);
  ASSERT_EQ(PtyRig::receive(monitorLine), kProbe);

  // The answer comes in two pieces, as a slow line delivers it.
  ASSERT_TRUE(monitorLine.write("5FF5F00A10"));
  ostrel::test::spinFor(60);
  ASSERT_TRUE(monitorLine.write("3000000000A0FA"));
  ASSERT_TRUE(rig.accepted(monitorLink));
  EXPECT_EQ(ostrel::currentMCUVersion, 48);
  ASSERT_EQ(ostrel::currentPort.load(), ostrel::caluPortsArr->first());
  EXPECT_EQ(rig.remembered, QStringLiteral("path:") + monitorLink);

  EXPECT_TRUE(rig.utils.sendCommand(1, 5));
  EXPECT_EQ(PtyRig::receive(monitorLine), "5FF50105000000000000A0FA");

  // Replies in one read, and a setting notice, reach the main window.
  ASSERT_TRUE(monitorLine.write("5FF5F00A010500000000A0FA5FF50607000000000000A0FA"));
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return rig.view->calls.contains("receiveMouseMovePointX(-6,0)"); }));
  EXPECT_TRUE(rig.view->calls.contains("updateViewThresholdDisplay(5)"));

  // Nobody answered on the other line: it is closed again.
  const PelSerialPortRef other = rig.port(otherLink);
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !other->isOpen(); }, 8000));
  EXPECT_TRUE(ostrel::currentPort.load()->isOpen());
  EXPECT_EQ(PtyRig::reasonFor(otherLink), QStringLiteral("unanswered"));

  // Unplugging the monitor empties the list; commands are refused from then on.
  monitorLine.closeMaster();
  ASSERT_TRUE(ostrel::test::waitUntil([] { return ostrel::caluPortsArr->isEmpty(); }, 8000));
  EXPECT_TRUE(rig.view->calls.endsWith("updateMainViewContent()"));
  ASSERT_TRUE(ostrel::test::waitUntil([] { return !ostrel::currentPort.load()->isOpen(); }, 8000));
  EXPECT_FALSE(rig.utils.sendCommand(3, 1));
}

TEST(PtyDiscovery, TheMonitorInUseOutlivesAMissedReprobeAndAPortClosingUnderItLeavesTheList) {
  PtyRig rig;
  ostrel::LogCapture log;
  PseudoTerminal monitorLine;
  const QString monitorLink = monitorLine.publish(QStringLiteral("ttyBUSYMON"));
  ASSERT_TRUE(rig.waitForPort(monitorLink));
  rig.utils.startPin();
  ASSERT_EQ(PtyRig::receive(monitorLine), kProbe);
  ASSERT_TRUE(monitorLine.write(kMonitorAnswer));
  ASSERT_TRUE(rig.accepted(monitorLink));
  const PelSerialPortRef monitor = ostrel::currentPort.load();

  // Another serial device is plugged in while the monitor is busy refreshing:
  // it misses the new question.
  PseudoTerminal newLine;
  const QString newLink = newLine.publish(QStringLiteral("ttyNEWCOMER"));
  rig.plugged(newLink);
  EXPECT_EQ(PtyRig::receive(monitorLine), kProbe);
  EXPECT_EQ(PtyRig::receive(newLine), kProbe);
  const PelSerialPortRef newcomer = rig.port(newLink);
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !newcomer->isOpen(); }, 8000)) << "the silent newcomer is let go";
  EXPECT_TRUE(log.contains(QStringLiteral("Discovery: ttyBUSYMON (%1): unanswered").arg(monitorLink)));
  // Nothing changed for the monitor: open, listed, current, and it takes commands.
  EXPECT_TRUE(monitor->isOpen());
  EXPECT_EQ(*ostrel::caluPortsArr, QList<PelSerialPortRef>{monitor});
  EXPECT_EQ(ostrel::currentPort.load(), monitor);
  ASSERT_TRUE(rig.utils.sendCommand(3, 1));
  EXPECT_EQ(PtyRig::receive(monitorLine), "5FF50301000000000000A0FA");

  // Its port closes under the window for some other reason: the window hears
  // of it as of a removal, instead of listing a monitor it can't reach.
  const int refreshes = static_cast<int>(rig.view->calls.count("updateMainViewContent()"));
  monitor->close();
  ASSERT_TRUE(ostrel::test::waitUntil([] { return ostrel::caluPortsArr->isEmpty(); }));
  EXPECT_EQ(rig.view->calls.count("updateMainViewContent()"), refreshes + 1);
  EXPECT_FALSE(rig.utils.sendCommand(3, 1));
}

TEST(PtyDiscovery, ADeviceAnotherProgramHoldsIsNeverWrittenToUntilItIsReleased) {
  PtyRig rig;
  ostrel::LogCapture log;
  PseudoTerminal monitorLine;
  PseudoTerminal heldLine;
  const QString monitorLink = monitorLine.publish(QStringLiteral("ttyM"));
  const QString heldLink = heldLine.publish(QStringLiteral("ttyHELD"));
  ASSERT_TRUE(rig.waitForPort(monitorLink) && rig.waitForPort(heldLink));
  ostrel::test::ChildProcess terminalProgram;
  QString error;
  ASSERT_TRUE(ostrel::test::holdOpen(terminalProgram, heldLink, &error)) << error.toStdString();
  const QString inUse = QStringLiteral("in use by %1 sleep").arg(terminalProgram.pid());

  // At start.
  rig.utils.startPin();
  ASSERT_EQ(PtyRig::receive(monitorLine), kProbe);
  ASSERT_TRUE(monitorLine.write(kMonitorAnswer));
  ASSERT_TRUE(rig.accepted(monitorLink));
  EXPECT_EQ(PtyRig::reasonFor(heldLink), inUse);
  EXPECT_TRUE(log.contains(
      QStringLiteral("Discovery: ttyHELD (%1): %2; nothing is written to it in this pass").arg(heldLink, inUse)));
  EXPECT_FALSE(rig.port(heldLink)->isOpen());

  // On a hot-plug pass.
  PseudoTerminal thirdLine;
  const QString thirdLink = thirdLine.publish(QStringLiteral("ttyTHIRD"));
  rig.plugged(thirdLink);
  ASSERT_EQ(PtyRig::receive(thirdLine), kProbe);
  EXPECT_EQ(PtyRig::reasonFor(heldLink), inUse);
  EXPECT_TRUE(heldLine.readAvailable().isEmpty()) << "not a byte reached the other program's line";

  // Released, it is asked at the next pass.
  terminalProgram.stop();
  rig.utils.startPin();
  EXPECT_EQ(PtyRig::receive(heldLine), kProbe);
  EXPECT_EQ(PtyRig::reasonFor(heldLink), QStringLiteral("probed"));
}

// Every container numbers its pseudo-terminals from 0 on, in a devpts of its
// own: a program there that holds its /dev/pts/N holds another line than
// this system's /dev/pts/N, whose device number is the same.
TEST(PtyDiscovery, ATerminalOfAnotherDevptsWithTheSameNumberIsAnotherLine) {
  if (::geteuid() != 0) GTEST_SKIP() << "a devpts of its own needs root";
  PseudoTerminal line;
  const QString link = line.publish(QStringLiteral("ttyOURS"));
  ASSERT_FALSE(link.isEmpty());
  const QString number = line.slavePath().section(QLatin1Char('/'), -1);
  // Opens terminals in a new devpts until it has the one with our number,
  // lets go of its far end and keeps it open.
  const QString holder = QStringLiteral(
      "mount -t devpts -o newinstance,ptmxmode=0666 devpts /dev/pts && mount --bind /dev/pts/ptmx /dev/ptmx && "
      "exec python3 -c '\n"
      "import os, sys, time\n"
      "keep = []\n"
      "while True:\n"
      "    m, s = os.openpty()\n"
      "    name = os.ttyname(s)\n"
      "    if name == \"/dev/pts/\" + sys.argv[1]:\n"
      "        os.close(m)\n"
      "        print(\"holding\", name, flush=True)\n"
      "        time.sleep(600)\n"
      "    keep.append((m, s))\n"
      "' \"$0\"");
  ostrel::test::ChildProcess container;
  QString error;
  ASSERT_TRUE(container.start(QStringLiteral("/usr/bin/unshare"),
                              {QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private"),
                               QStringLiteral("/bin/sh"), QStringLiteral("-c"), holder, number},
                              &error))
      << error.toStdString();
  if (!container.waitForLine(
          ostrel::test::ChildStream::Output, [](const QByteArray& l) { return l.startsWith("holding"); },
          std::chrono::seconds(30))) {
    QByteArray why;
    for (const auto& l : container.lines(ostrel::test::ChildStream::Error)) why += l.text + ' ';
    GTEST_SKIP() << "no devpts of its own here: " << why.toStdString();
  }
  const auto users = ostrel::platform::deviceUsers({link});
  EXPECT_EQ(users.count(link), 0u) << "listed as a user: " << users.at(link).front().command.toStdString();
}

TEST(PtyDiscovery, TheRememberedAdapterIsAskedFirstAndWhileItAnswersTheOtherPortsAreLeftAlone) {
  PtyRig rig;
  ostrel::LogCapture log;
  PseudoTerminal monitorLine;
  PseudoTerminal otherLine;
  const QString monitorLink = monitorLine.publish(QStringLiteral("ttyREMEMBERED"));
  const QString otherLink = otherLine.publish(QStringLiteral("ttyPRESENT"));
  ASSERT_TRUE(rig.waitForPort(monitorLink) && rig.waitForPort(otherLink));
  rig.remembered = QStringLiteral("path:") + monitorLink;
  // However long the test takes to answer, the others wait for it.
  rig.utils.setKnownMonitorAnswerMs(60000);

  rig.utils.startPin();
  ASSERT_EQ(PtyRig::receive(monitorLine), kProbe);
  EXPECT_FALSE(rig.port(otherLink)->isOpen()) << "the other port waits for the remembered one's answer";
  ASSERT_TRUE(monitorLine.write(kMonitorAnswer));
  ASSERT_TRUE(rig.accepted(monitorLink));
  EXPECT_TRUE(
      log.contains(QStringLiteral("Discovery: ttyPRESENT (%1): left alone: a monitor is known").arg(otherLink)));

  // A device plugged in later is asked; the one that was there stays alone.
  PseudoTerminal laterLine;
  const QString laterLink = laterLine.publish(QStringLiteral("ttyLATER"));
  rig.plugged(laterLink);
  EXPECT_EQ(PtyRig::receive(monitorLine), kProbe);
  EXPECT_EQ(PtyRig::receive(laterLine), kProbe);
  ASSERT_TRUE(monitorLine.write(kMonitorAnswer));
  ASSERT_TRUE(ostrel::test::waitUntil(
      [&] { return PtyRig::reasonFor(otherLink) == QStringLiteral("left alone: a monitor is known"); }));
  EXPECT_TRUE(otherLine.readAvailable().isEmpty()) << "the present port received nothing";
  EXPECT_EQ(*ostrel::caluPortsArr, QList<PelSerialPortRef>{rig.port(monitorLink)}) << "listed once";
}

TEST(PtyDiscovery, ARememberedAdapterThatStaysSilentLetsTheOtherPortsBeAsked) {
  PtyRig rig;
  ostrel::LogCapture quiet;
  PseudoTerminal monitorLine;
  PseudoTerminal silentLine;
  const QString monitorLink = monitorLine.publish(QStringLiteral("ttyMONITOR2"));
  const QString silentLink = silentLine.publish(QStringLiteral("ttySILENT2"));
  ASSERT_TRUE(rig.waitForPort(monitorLink) && rig.waitForPort(silentLink));
  rig.remembered = QStringLiteral("path:") + silentLink;
  rig.utils.startPin();
  EXPECT_EQ(PtyRig::receive(silentLine), kProbe);
  ASSERT_EQ(PtyRig::receive(monitorLine), kProbe);
  ASSERT_TRUE(monitorLine.write(kMonitorAnswer));
  ASSERT_TRUE(rig.accepted(monitorLink));
  EXPECT_EQ(rig.remembered, QStringLiteral("path:") + monitorLink) << "the monitor's adapter is remembered now";
}

// ---- ports held by another program when discovery came ---------------------

TEST(PtyDiscovery, AMonitorHeldByTwoProgramsIsProbedOnceBothHaveLetGoWithoutAnotherPass) {
  PtyRig rig;
  ostrel::LogCapture log;
  PseudoTerminal monitorLine;
  const QString link = monitorLine.publish(QStringLiteral("ttyHELDMON"));
  ASSERT_TRUE(rig.waitForPort(link));
  // One holder reaches the device through the link, the other through its node.
  ostrel::test::ChildProcess first;
  ostrel::test::ChildProcess second;
  QString error;
  ASSERT_TRUE(ostrel::test::holdOpen(first, link, &error)) << error.toStdString();
  ASSERT_TRUE(ostrel::test::holdOpen(second, monitorLine.slavePath(), &error)) << error.toStdString();

  rig.utils.startPin();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !rig.utils.portsOpening(); }));
  const auto low = std::min(first.pid(), second.pid());
  const auto high = std::max(first.pid(), second.pid());
  EXPECT_EQ(PtyRig::reasonFor(link), QStringLiteral("in use by %1 sleep, %2 sleep").arg(low).arg(high));
  EXPECT_EQ(rig.utils.heldPorts(), QStringList{link});
  EXPECT_TRUE(rig.utils.polledHeldPorts().isEmpty()) << "its closes are watched";

  first.stop();
  ASSERT_TRUE(ostrel::test::waitUntil(
      [&] { return PtyRig::reasonFor(link) == QStringLiteral("in use by %1 sleep").arg(second.pid()); }));
  EXPECT_TRUE(monitorLine.readAvailable(400).isEmpty()) << "written to while the second program held it";
  EXPECT_FALSE(rig.port(link)->isOpen());

  second.stop();
  ASSERT_EQ(PtyRig::receive(monitorLine), kProbe);
  ASSERT_TRUE(monitorLine.write(kMonitorAnswer));
  ASSERT_TRUE(rig.accepted(link));
  EXPECT_EQ(ostrel::currentPort.load(), rig.port(link));
  EXPECT_EQ(PtyRig::reasonFor(link), QStringLiteral("probed"));
  EXPECT_TRUE(rig.utils.heldPorts().isEmpty());
  EXPECT_EQ(log.count(QStringLiteral("Discovery: ttyHELDMON (%1): no longer in use").arg(link)), 1);
}

TEST(PtyDiscovery, AReleasedPortStopsBeingWatchedBeforeDiscoveryOpensItSoItsOwnCloseAsksNothing) {
  PtyRig rig;
  ostrel::LogCapture quiet;
  auto recording = std::make_unique<RecordingCloseWatch>();
  RecordingCloseWatch* watch = recording.get();
  watch->portOpen = [&rig](const QString& path) { return rig.port(path) && rig.port(path)->isOpen(); };
  rig.utils.setCloseWatch(std::move(recording));
  PseudoTerminal silentLine;
  const QString link = silentLine.publish(QStringLiteral("ttyHELDSILENT"));
  ASSERT_TRUE(rig.waitForPort(link));
  ostrel::test::ChildProcess holder;
  QString error;
  ASSERT_TRUE(ostrel::test::holdOpen(holder, link, &error)) << error.toStdString();

  rig.utils.startPin();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !rig.utils.portsOpening(); }));
  ASSERT_EQ(watch->calls, QStringList{QStringLiteral("watch ") + link});
  holder.stop();
  EXPECT_EQ(PtyRig::receive(silentLine), kProbe);
  EXPECT_EQ(watch->calls, (QStringList{QStringLiteral("watch ") + link, QStringLiteral("unwatch ") + link}));
  EXPECT_FALSE(watch->openAtUnwatch);
  // Nobody answers: discovery lets the port go again, and that close of its
  // own brings no second probe.
  const PelSerialPortRef port = rig.port(link);
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !port->isOpen(); }, 8000));
  EXPECT_TRUE(silentLine.readAvailable(800).isEmpty());
  EXPECT_EQ(PtyRig::reasonFor(link), QStringLiteral("unanswered"));
  EXPECT_EQ(watch->calls.size(), 2);
}

TEST(PtyDiscovery, WhereClosesCannotBeWatchedATimerLooksAgainAndAnUnchangedReasonIsSaidOnce) {
  PtyRig rig;
  ostrel::LogCapture log;
  rig.utils.setCloseWatch(std::make_unique<RefusingCloseWatch>());
  rig.utils.setHeldRecheckMs(100);
  PseudoTerminal monitorLine;
  const QString link = monitorLine.publish(QStringLiteral("ttyPOLLED"));
  ASSERT_TRUE(rig.waitForPort(link));
  ostrel::test::ChildProcess holder;
  QString error;
  ASSERT_TRUE(ostrel::test::holdOpen(holder, link, &error)) << error.toStdString();
  const QString inUse = QStringLiteral("in use by %1 sleep").arg(holder.pid());

  rig.utils.startPin();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !rig.utils.portsOpening(); }));
  EXPECT_EQ(rig.utils.polledHeldPorts(), QStringList{link});
  EXPECT_EQ(log.count(QStringLiteral("Discovery: ttyPOLLED (%1): closes of it cannot be watched (no inotify watches "
                                     "left); looked at again every 100 ms")
                          .arg(link)),
            1);
  // Several looks while it is still held.
  ostrel::test::spinFor(700);
  EXPECT_TRUE(monitorLine.readAvailable().isEmpty());
  EXPECT_EQ(PtyRig::reasonFor(link), inUse);
  EXPECT_EQ(
      log.count(
          QStringLiteral("Discovery: ttyPOLLED (%1): %2; nothing is written to it in this pass").arg(link, inUse)),
      1);

  holder.stop();
  ASSERT_EQ(PtyRig::receive(monitorLine), kProbe);
  ASSERT_TRUE(monitorLine.write(kMonitorAnswer));
  ASSERT_TRUE(rig.accepted(link));
  EXPECT_TRUE(rig.utils.polledHeldPorts().isEmpty());
}

TEST(PtyDiscovery, ALineLetGoWhileAMonitorIsInUseIsLeftAloneUntilTheNextPass) {
  PtyRig rig;
  ostrel::LogCapture quiet;
  PseudoTerminal monitorLine;
  PseudoTerminal heldLine;
  const QString monitorLink = monitorLine.publish(QStringLiteral("ttyINUSE"));
  const QString heldLink = heldLine.publish(QStringLiteral("ttyMINICOM"));
  ASSERT_TRUE(rig.waitForPort(monitorLink) && rig.waitForPort(heldLink));
  ostrel::test::ChildProcess terminalProgram;
  QString error;
  ASSERT_TRUE(ostrel::test::holdOpen(terminalProgram, heldLink, &error)) << error.toStdString();
  rig.utils.startPin();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !rig.utils.portsOpening(); }));
  ASSERT_EQ(PtyRig::receive(monitorLine), kProbe);
  ASSERT_TRUE(monitorLine.write(kMonitorAnswer));
  ASSERT_TRUE(rig.accepted(monitorLink));

  terminalProgram.stop();
  ASSERT_TRUE(ostrel::test::waitUntil(
      [&] { return PtyRig::reasonFor(heldLink) == QStringLiteral("left alone: a monitor is known"); }));
  EXPECT_TRUE(heldLine.readAvailable(400).isEmpty());
  EXPECT_TRUE(rig.utils.heldPorts().isEmpty());
  // Still a newcomer: the next pass asks it.
  rig.utils.startPin();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !rig.utils.portsOpening(); }));
  EXPECT_EQ(PtyRig::receive(heldLine), kProbe);
}

TEST(PtyDiscovery, AHeldPortThatIsUnpluggedIsNoLongerWaitedFor) {
  PtyRig rig;
  ostrel::LogCapture quiet;
  PseudoTerminal line;
  const QString link = line.publish(QStringLiteral("ttyHELDGONE"));
  ASSERT_TRUE(rig.waitForPort(link));
  ostrel::test::ChildProcess holder;
  QString error;
  ASSERT_TRUE(ostrel::test::holdOpen(holder, link, &error)) << error.toStdString();
  rig.utils.startPin();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !rig.utils.portsOpening(); }));
  ASSERT_EQ(rig.utils.heldPorts(), QStringList{link});

  line.unpublish();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return rig.port(link) == nullptr; }));
  rig.utils.startPin();  // the pass that follows a removal
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !rig.utils.portsOpening(); }));
  EXPECT_TRUE(rig.utils.heldPorts().isEmpty());
  holder.stop();
  EXPECT_TRUE(line.readAvailable(600).isEmpty());
}

}  // namespace

// A USB adapter plugged into the port the monitor's adapter left gets the same
// device path, and the same device identity when it sits on the same USB
// socket. It is a new device: nothing of the monitor that was there may carry
// over to it. Played here by unpublishing the monitor's line and publishing
// the same line again, which then stays silent.
TEST(PtyDiscovery, ADeviceWhereTheMonitorWasIsNoMonitor) {
  PtyRig rig;
  ostrel::LogCapture quiet;
  PseudoTerminal line;
  const QString link = line.publish(QStringLiteral("ttyUSB0"));
  ASSERT_FALSE(link.isEmpty());
  rig.plugged(link);
  ASSERT_EQ(PtyRig::receive(line), kProbe);
  ASSERT_TRUE(line.write(kMonitorAnswer));
  ASSERT_TRUE(rig.accepted(link));
  const PelSerialPortRef monitor = rig.port(link);

  line.unpublish();
  ASSERT_TRUE(ostrel::test::waitUntil([] { return ostrel::caluPortsArr->isEmpty(); }, 8000));
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !monitor->isOpen(); }, 8000));
  // A command that finds the port closed under it did not reach the monitor,
  // and whoever asked for it must hear so.
  const std::uint64_t failed = rig.utils.failedMainThreadSends();
  EXPECT_FALSE(rig.utils.sendCommand(3, 1));
  EXPECT_EQ(rig.utils.failedMainThreadSends(), failed + 1);

  ASSERT_EQ(line.publish(QStringLiteral("ttyUSB0")), link);
  rig.plugged(link);
  ASSERT_EQ(PtyRig::receive(line), kProbe);
  const PelSerialPortRef newcomer = rig.port(link);
  ASSERT_NE(newcomer, nullptr);
  // Commands still have no monitor to go to...
  EXPECT_FALSE(rig.utils.sendCommand(3, 1));
  EXPECT_EQ(line.readAvailable(200), QByteArray());
  // ...and the silent device is let go like any other.
  EXPECT_TRUE(ostrel::test::waitUntil([&] { return !newcomer->isOpen(); }, 8000));
  EXPECT_EQ(PtyRig::reasonFor(link), QStringLiteral("unanswered"));
}
