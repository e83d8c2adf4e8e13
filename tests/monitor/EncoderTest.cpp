#include "MonitorTestSupport.h"

#include "common/Log.h"
#include "monitor/MonitorState.h"
#include "monitor/UtilsPelSerialPortsValue.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using ostrel::test::FakeSerialPort;

struct FrameCase {
  std::int32_t command;
  std::int32_t optional;
  const char* frame;  // nullptr: refused, nothing written
};

// Parameter rules of every code, each side of each range.
constexpr FrameCase kFrameCases[] = {
    {1, 0, "5FF50101000000000000A0FA"},
    {1, 1, "5FF50101000000000000A0FA"},
    {1, 5, "5FF50105000000000000A0FA"},
    {1, 9, "5FF50109000000000000A0FA"},
    {1, 10, "5FF50101000000000000A0FA"},
    {1, -1, "5FF50101000000000000A0FA"},
    {1, INT_MIN, "5FF50101000000000000A0FA"},
    {2, 1, "5FF50202000000000000A0FA"},
    {2, 2, "5FF50202000000000000A0FA"},
    {2, 4, "5FF50204000000000000A0FA"},
    {2, 5, "5FF50202000000000000A0FA"},
    {3, -1, "5FF50300000000000000A0FA"},
    {3, 1, "5FF50301000000000000A0FA"},
    {3, 2, "5FF50300000000000000A0FA"},
    {4, 0, "5FF50401000000000000A0FA"},
    {4, 5, "5FF50405000000000000A0FA"},
    {4, 6, "5FF50401000000000000A0FA"},
    {5, 0, "5FF50500000000000000A0FA"},
    {5, 3, "5FF50503000000000000A0FA"},
    {5, 4, "5FF50500000000000000A0FA"},
    {6, 15, "5FF5060F000000000000A0FA"},
    {6, 16, "5FF50600000000000000A0FA"},
    {6, -3, "5FF50600000000000000A0FA"},
    {240, 3, "5FF5F003000000000000A0FA"},
    {240, 4, "5FF5F000000000000000A0FA"},
    // No rule: the low eight bits go out as they are.
    {7, 3, "5FF50703000000000000A0FA"},
    {7, 300, "5FF5072C000000000000A0FA"},
    {7, -1, "5FF507FF000000000000A0FA"},
    {8, 0, "5FF50800000000000000A0FA"},
    {8, 100, "5FF50864000000000000A0FA"},
    {9, 100, "5FF50964000000000000A0FA"},
    {9, 256, "5FF50900000000000000A0FA"},
    {11, 300, "5FF50B2C000000000000A0FA"},
    {0, 7, "5FF50007000000000000A0FA"},
    {255, 1, "5FF5FF01000000000000A0FA"},
    // Read parameter: known identifiers go out unchanged, the rest are refused.
    {10, 1, "5FF50A01000000000000A0FA"},
    {10, 2, "5FF50A02000000000000A0FA"},
    {10, 3, "5FF50A03000000000000A0FA"},
    {10, 4, "5FF50A04000000000000A0FA"},
    {10, 7, "5FF50A07000000000000A0FA"},
    {10, 8, "5FF50A08000000000000A0FA"},
    {10, 9, "5FF50A09000000000000A0FA"},
    {10, 16, "5FF50A10000000000000A0FA"},
    {10, 17, "5FF50A11000000000000A0FA"},
    {10, 0, nullptr},
    {10, 5, nullptr},
    {10, 6, nullptr},
    {10, 10, nullptr},
    {10, 11, nullptr},
    {10, 12, nullptr},
    {10, 13, nullptr},
    {10, 14, nullptr},
    {10, 15, nullptr},
    {10, 18, nullptr},
    {10, 33, nullptr},
    {10, -1, nullptr},
    {10, INT_MIN, nullptr},
    {10, INT_MAX, nullptr},
    {10, 0x101, nullptr},  // low byte 1, but not identifier 1
};

TEST(SendCommand, FramesFollowEachCodesParameterRule) {
  ostrel::test::CleanMonitorState clean;
  auto port = FakeSerialPort::create("ttyFAKE0");
  port->open();
  ostrel::currentPort.store(port);
  ostrel::UtilsPelSerialPortsValue utils;
  for (const FrameCase& c : kFrameCases) {
    SCOPED_TRACE(testing::Message() << "command " << c.command << " optional " << c.optional);
    port->clearWrites();
    ostrel::LogCapture capture;
    const bool sent = utils.sendCommand(c.command, c.optional);
    const QStringList lines = capture.lines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("sendCommand****** command = %1, optional = %2").arg(c.command).arg(c.optional));
    if (c.frame) {
      EXPECT_TRUE(sent);
      EXPECT_EQ(port->frames(), QList<QByteArray>{QByteArray(c.frame)});
      EXPECT_EQ(lines, (QStringList{lines[0], "\n> has send Data value " + QString::fromLatin1(c.frame).toLower()}));
    } else {
      EXPECT_FALSE(sent);
      EXPECT_TRUE(port->frames().isEmpty());
      EXPECT_EQ(lines, (QStringList{lines[0], QStringLiteral("需要弹窗显示异常")}));
    }
  }
}

TEST(SendCommand, CommandsThatDoNotFitTheCommandByteAreRefused) {
  ostrel::test::CleanMonitorState clean;
  auto port = FakeSerialPort::create("ttyFAKE0");
  port->open();
  ostrel::currentPort.store(port);
  ostrel::UtilsPelSerialPortsValue utils;
  for (const std::int32_t command : {256, 300, -1, INT_MIN, INT_MAX}) {
    ostrel::LogCapture capture;
    EXPECT_FALSE(utils.sendCommand(command, 1)) << command;
    EXPECT_TRUE(capture.contains(
        QStringLiteral("sendCommand refused: command %1 does not fit the frame's command byte").arg(command)));
  }
  EXPECT_TRUE(port->wire().isEmpty());
}

enum class PortSituation { None, NeverOpened, Closed, Removed };

struct RefusalCase {
  const char* label;
  PortSituation situation;
  const char* logged;
};

TEST(SendCommand, NoOpenCurrentPortRefusesEveryCommand) {
  const RefusalCase cases[] = {
      {"no monitor yet", PortSituation::None, "需要弹窗显示异常 currentPort = (null)"},
      {"never opened", PortSituation::NeverOpened, "需要弹窗显示异常 currentPort = ttyFAKE0"},
      {"closed", PortSituation::Closed, "需要弹窗显示异常 currentPort = ttyFAKE0"},
      {"removed from the system", PortSituation::Removed, "需要弹窗显示异常 currentPort = ttyFAKE0"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.label);
    ostrel::test::CleanMonitorState clean;
    auto port = FakeSerialPort::create("ttyFAKE0");
    if (c.situation != PortSituation::None) ostrel::currentPort.store(port);
    if (c.situation == PortSituation::Closed || c.situation == PortSituation::Removed) port->open();
    if (c.situation == PortSituation::Closed) port->close();
    if (c.situation == PortSituation::Removed) port->removeFromSystem();
    ostrel::UtilsPelSerialPortsValue utils;
    for (const std::int32_t command : {1, 3, 5, 9, 10}) {
      ostrel::LogCapture capture;
      EXPECT_FALSE(utils.sendCommand(command, 1));
      EXPECT_EQ(capture.lines(), (QStringList{QStringLiteral("sendCommand****** command = %1, optional = 1").arg(command),
                                              QString::fromUtf8(c.logged)}));
    }
    EXPECT_TRUE(port->wire().isEmpty());
  }
}

TEST(SendCommand, ResultIsFalseWhenThePortDoesNotTakeTheFrame) {
  // The port reports its own write failures to its delegate; the caller learns
  // from the result that the frame did not reach the monitor.
  ostrel::test::CleanMonitorState clean;
  struct FailingPort : FakeSerialPort {
    using FakeSerialPort::FakeSerialPort;
    int attempts = 0;
    bool sendData(const QByteArray&) override {
      ++attempts;
      return false;
    }
  };
  auto port = std::make_shared<FailingPort>("ttyFAIL", "/dev/ttyFAIL");
  port->open();
  ostrel::currentPort.store(port);
  ostrel::UtilsPelSerialPortsValue utils;
  EXPECT_FALSE(utils.sendCommand(3, 1));
  EXPECT_EQ(port->attempts, 1) << "no retry";
  EXPECT_EQ(utils.failedMainThreadSends(), 1u);
  EXPECT_FALSE(utils.sendCommand(10, 16));
  EXPECT_EQ(utils.failedMainThreadSends(), 2u);
}

}  // namespace
