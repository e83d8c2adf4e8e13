// Discovery and the command path against real serial ports: pseudo-terminals
// published as virtual ports, listed by a port manager, opened and read by the
// real port; the test plays the monitor on the far end of each line.

#include "MonitorTestSupport.h"

#include "common/Log.h"
#include "monitor/MonitorState.h"
#include "monitor/UtilsPelSerialPortsValue.h"
#include "platform/posix/VirtualPortBackend.h"
#include "serial/PelDeviceRegistry.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"
#include "support/PseudoTerminal.h"

#include <gtest/gtest.h>

namespace {

using ostrel::PelSerialPortRef;

const QByteArray kProbe = "5FF50A10000000000000A0FA";

PelSerialPortRef portWithPath(const QList<PelSerialPortRef>& ports, const QString& path) {
  for (const auto& p : ports)
    if (p->path() == path) return p;
  return nullptr;
}

TEST(PtyDiscovery, FindsTheMonitorTalksToItAndLetsTheOtherLineGo) {
  ostrel::test::CleanMonitorState clean;
  ostrel::LogCapture quiet;
  ostrel::test::PseudoTerminal monitorLine;
  ostrel::test::PseudoTerminal otherLine;
  const QString monitorLink = monitorLine.publish(QStringLiteral("ttyMONITOR"));
  const QString otherLink = otherLine.publish(QStringLiteral("ttyOTHER"));
  ASSERT_FALSE(monitorLink.isEmpty());
  ASSERT_FALSE(otherLink.isEmpty());

  ostrel::PelDeviceRegistry registry;
  registry.addBackend(ostrel::platform::makeVirtualPortBackend());
  ostrel::PelSerialPortManager manager(registry);
  ostrel::UtilsPelSerialPortsValue utils;
  QList<PelSerialPortRef> listed;
  utils.setAvailablePortsSource([&] {
    listed.clear();
    for (const auto& p : manager.availablePorts()) listed << p;
    return listed;
  });
  auto view = std::make_shared<ostrel::test::RecordingViewController>();
  view->onUpdateMainViewContent = [&] { utils.currentDisplayPort(0); };
  utils.startPinAvailablePorts(std::make_shared<QList<PelSerialPortRef>>(), view);

  utils.startPin();
  ASSERT_EQ(listed.size(), 2);
  ostrel::test::spinFor(450);
  EXPECT_EQ(otherLine.read(24, 5000), kProbe);
  ASSERT_EQ(monitorLine.read(24, 5000), kProbe);

  // The answer comes in two pieces, as a slow line delivers it.
  ASSERT_TRUE(monitorLine.write("5FF5F00A10"));
  ostrel::test::spinFor(60);
  ASSERT_TRUE(monitorLine.write("3000000000A0FA"));
  ASSERT_TRUE(ostrel::test::waitUntil([] { return !ostrel::caluPortsArr->isEmpty(); }));
  ASSERT_EQ(ostrel::caluPortsArr->size(), 1);
  EXPECT_EQ(ostrel::caluPortsArr->first()->path(), monitorLink);
  EXPECT_EQ(ostrel::currentMCUVersion, 48);
  ASSERT_EQ(ostrel::currentPort.load(), ostrel::caluPortsArr->first());

  EXPECT_TRUE(utils.sendCommand(1, 5));
  EXPECT_EQ(monitorLine.read(24, 5000), "5FF50105000000000000A0FA");

  // Replies in one read, and a setting notice, reach the main window.
  ASSERT_TRUE(monitorLine.write("5FF5F00A010500000000A0FA5FF50607000000000000A0FA"));
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return view->calls.contains("receiveMouseMovePointX(-6,0)"); }));
  EXPECT_TRUE(view->calls.contains("updateViewThresholdDisplay(5)"));

  // Nobody answered on the other line: it is closed again.
  const PelSerialPortRef other = portWithPath(listed, otherLink);
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !other->isOpen(); }, 8000));
  EXPECT_TRUE(ostrel::currentPort.load()->isOpen());

  // Unplugging the monitor empties the list; commands are refused from then on.
  monitorLine.closeMaster();
  ASSERT_TRUE(ostrel::test::waitUntil([] { return ostrel::caluPortsArr->isEmpty(); }, 8000));
  EXPECT_TRUE(view->calls.endsWith("updateMainViewContent()"));
  ASSERT_TRUE(ostrel::test::waitUntil([] { return !ostrel::currentPort.load()->isOpen(); }, 8000));
  EXPECT_FALSE(utils.sendCommand(3, 1));
}

}  // namespace
