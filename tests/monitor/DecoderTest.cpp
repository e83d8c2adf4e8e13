#include "MonitorTestSupport.h"

#include "common/Log.h"
#include "monitor/MonitorState.h"
#include "monitor/PelSerialPortHelper.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

using ostrel::test::FakeSerialPort;
using ostrel::test::RecordingViewController;

// A helper wired to a recording main window and one fake port, as discovery
// would leave them.
struct DecoderRig {
  ostrel::test::CleanMonitorState clean;
  std::shared_ptr<RecordingViewController> view = std::make_shared<RecordingViewController>();
  std::shared_ptr<ostrel::PelSerialPortHelper> helper = std::make_shared<ostrel::PelSerialPortHelper>();
  std::shared_ptr<FakeSerialPort> port = FakeSerialPort::create("ttyFAKE0");

  DecoderRig() {
    ostrel::mainViewController = view;
    port->setDelegate(helper);
    port->open();
    QCoreApplication::processEvents();
  }
  void feed(const QByteArray& chunk) { helper->serialPortDidReceiveData(port, chunk); }
};

struct RouteCase {
  const char* chunk;
  QStringList calls;
};

TEST(Decoder, RoutesNoticesReportsAndInputEvents) {
  const RouteCase cases[] = {
      // Setting notices carry the value in CommandRe.
      {"5FF50105000000000000A0FA", {"updateViewThresholdDisplay(5)"}},
      {"5FF50203000000000000A0FA", {"updateViewModeDisplay(3)"}},
      {"5FF50301000000000000A0FA", {}},
      {"5FF50402000000000000A0FA", {"updateViewSpeedDisplay(2)"}},
      {"5FF50500000000000000A0FA", {}},
      {"5FF50702000000000000A0FA", {"updateViewFrontLightModeDisplay(2)"}},
      {"5FF50850000000000000A0FA", {"updateViewFrontTemperatureValueDisplay(80)"}},
      {"5FF50964000000000000A0FA", {"updateViewFrontBrightnessValueDisplay(100)"}},
      {"5FF50A01000000000000A0FA", {}},
      {"5FF50B01000000000000A0FA", {}},
      {"5FF5FF01000000000000A0FA", {}},
      {"5ff50105000000000000a0fa", {"updateViewThresholdDisplay(5)"}},
      {"5Ff50105000000000000A0FA", {"updateViewThresholdDisplay(5)"}},
      // Parameter reports: by CommandRq, value in CommandReValue; F0 or 00.
      {"5FF5F00A010500000000A0FA", {"updateViewThresholdDisplay(5)"}},
      {"5FF5000A010700000000A0FA", {"updateViewThresholdDisplay(7)"}},
      {"5FF5F00A020400000000A0FA", {"updateViewModeDisplay(4)"}},
      {"5FF5F00A030200000000A0FA", {"updateViewModeDisplay(2)"}},
      {"5FF5F00A040300000000A0FA", {"updateViewSpeedDisplay(3)"}},
      {"5FF5F00A070300000000A0FA", {"updateViewFrontLightModeDisplay(3)"}},
      {"5FF5f00a086400000000A0FA", {"updateViewFrontTemperatureValueDisplay(100)"}},
      {"5FF5F00A090000000000A0FA", {"updateViewFrontBrightnessValueDisplay(0)"}},
      {"5FF5F00A000500000000A0FA", {}},
      {"5FF5F00A050500000000A0FA", {}},
      {"5FF5F00A060500000000A0FA", {}},
      {"5FF5F00A0A0500000000A0FA", {}},
      {"5FF5F00A0C0500000000A0FA", {}},
      {"5FF5F00A0F0500000000A0FA", {}},
      {"5FF5F00A110500000000A0FA", {}},
      {"5FF5F00AFF0500000000A0FA", {}},
      {"5FF5F009010500000000A0FA", {}},  // CommandRe 9: not a report
      {"5FF5F00B010500000000A0FA", {}},
      {"5FF50109010500000000A0FA", {"updateViewThresholdDisplay(9)"}},  // a notice of 9
      // Values the monitor cannot have go no further.
      {"5FF50100000000000000A0FA", {}},
      {"5FF5F00A01C800000000A0FA", {}},
      {"5FF5010A000000000000A0FA", {}},
      {"5FF50201000000000000A0FA", {}},
      {"5FF5F00A030500000000A0FA", {}},
      {"5FF50406000000000000A0FA", {}},
      {"5FF5F00A070400000000A0FA", {}},
      {"5FF5F00A086500000000A0FA", {}},
      // Input events.
      {"5FF50600000000000000A0FA", {}},
      {"5FF50601000000000000A0FA", {"receiveKeyBoardClickWithCode(121)"}},
      {"5FF50602000000000000A0FA", {"receiveKeyBoardClickWithCode(116)"}},
      {"5FF50603000000000000A0FA", {"receiveKeyBoardClickWithCode(125)"}},
      {"5FF50604000000000000A0FA", {"receiveKeyBoardClickWithCode(126)"}},
      {"5FF50605000000000000A0FA", {"receiveKeyBoardClickWithCode(51)"}},
      {"5FF50606000000000000A0FA", {}},
      {"5FF50607000000000000A0FA", {"receiveMouseMovePointX(-6,0)"}},
      {"5FF50608000000000000A0FA", {"receiveMouseMovePointX(6,0)"}},
      {"5FF50609000000000000A0FA", {"receiveMouseMovePointX(0,6)"}},
      {"5FF5060A000000000000A0FA", {"receiveMouseMovePointX(0,-6)"}},
      {"5FF5060B000000000000A0FA", {"receiveMouseClickEvent(0)"}},
      {"5FF5060C000000000000A0FA", {"receiveMouseClickEvent(1)"}},
      {"5FF5060D000000000000A0FA", {}},
      {"5FF5060E000000000000A0FA", {}},
      {"5FF5060F000000000000A0FA", {}},
      {"5FF50610000000000000A0FA", {"receiveMouseLongMovePonitX(0,-70)"}},
      {"5FF50611000000000000A0FA", {"receiveMouseLongMovePonitX(0,70)"}},
      {"5FF50612000000000000A0FA", {"receiveMouseLongMovePonitX(70,0)"}},
      {"5FF50613000000000000A0FA", {"receiveMouseLongMovePonitX(-70,0)"}},
      {"5FF50614000000000000A0FA", {"receiveMouseLongMovePonitX(0,0)"}},
      {"5FF50615000000000000A0FA", {"receiveMouseLongMovePonitX(0,0)"}},
      {"5FF50616000000000000A0FA", {"receiveMouseLongMovePonitX(0,0)"}},
      {"5FF50617000000000000A0FA", {"receiveMouseLongMovePonitX(0,0)"}},
      {"5FF50618000000000000A0FA", {}},
      {"5FF506FF000000000000A0FA", {}},
      // Not ours.
      {"5FF40105000000000000A0FA", {}},
      {"6FF50105000000000000A0FA", {}},
      {"", {}},
  };
  for (const RouteCase& c : cases) {
    SCOPED_TRACE(c.chunk);
    DecoderRig rig;
    ostrel::LogCapture capture;
    rig.feed(c.chunk);
    EXPECT_EQ(rig.view->calls, c.calls);
    EXPECT_TRUE(ostrel::caluPortsArr->isEmpty());
  }
}

TEST(Decoder, AValueTheMonitorCannotHaveIsLoggedOnceAndGoesNoFurther) {
  const QStringList logged[] = {
      {"didReceiveData ignored a report of brightness 180: the monitor's brightness is 0..100"},
      {"didReceiveData ignored a report of image mode 9: the monitor's image mode is 2..4"}};
  const char* chunks[] = {"5FF509B4000000000000A0FA", "5FF5F00A020900000000A0FA"};
  for (int i = 0; i < 2; ++i) {
    DecoderRig rig;
    ostrel::LogCapture capture;
    rig.feed(chunks[i]);
    EXPECT_EQ(capture.lines().filter("ignored"), logged[i]);
    EXPECT_TRUE(rig.view->calls.isEmpty());
  }
}

struct AcceptCase {
  const char* chunk;
  int acceptedVersion;  // 0: not accepted
};

TEST(Decoder, AcceptsMonitorsOfVersion16_32_48Only) {
  const AcceptCase cases[] = {
      {"5FF5F00A101000000000A0FA", 16}, {"5FF5F00A102000000000A0FA", 32}, {"5FF5F00A103000000000A0FA", 48},
      {"5FF5000A103000000000A0FA", 48}, {"5FF5F00A0B3000000000A0FA", 48}, {"5FF5000A0B1000000000A0FA", 16},
      {"5ff5f00a102000000000a0fa", 32}, {"5FF5F00A103000000000", 48},     {"5FF5F00A1030", 48},
      {"5FF5F00A103100000000A0FA", 0},  {"5FF5F00A100800000000A0FA", 0},  {"5FF5F00A100000000000A0FA", 0},
      {"5FF5F00A104000000000A0FA", 0},  {"5FF5F00A10F000000000A0FA", 0},  {"5FF5F00A111000000000A0FA", 0},
      {"5FF5F00A0C3000000000A0FA", 0},  {"5FF5F0091030000000000A0F", 0},  {"5FF5F00A103", 0},
  };
  for (const AcceptCase& c : cases) {
    SCOPED_TRACE(c.chunk);
    DecoderRig rig;
    ostrel::LogCapture capture;
    rig.feed(c.chunk);
    if (c.acceptedVersion) {
      ASSERT_EQ(ostrel::caluPortsArr->size(), 1);
      EXPECT_EQ(ostrel::caluPortsArr->first(), rig.port);
      EXPECT_EQ(ostrel::currentMCUVersion, c.acceptedVersion);
      EXPECT_EQ(rig.view->calls, (QStringList{QStringLiteral("updateViewCurrentMCUVersion(%1)").arg(c.acceptedVersion),
                                              "updateMainViewContent()"}));
    } else {
      EXPECT_TRUE(ostrel::caluPortsArr->isEmpty());
      EXPECT_EQ(ostrel::currentMCUVersion, 0);
      EXPECT_TRUE(rig.view->calls.isEmpty());
    }
  }
}

TEST(Decoder, AcceptanceIsVisibleToTheMainWindowWhenItRefreshes) {
  DecoderRig rig;
  int seenCount = -1;
  rig.view->onUpdateMainViewContent = [&] { seenCount = static_cast<int>(ostrel::caluPortsArr->size()); };
  rig.feed("5FF5F00A102000000000A0FA");
  EXPECT_EQ(seenCount, 1);
}

TEST(Decoder, AMonitorAnsweringTwiceIsListedTwice) {
  DecoderRig rig;
  rig.feed("5FF5F00A103000000000A0FA");
  rig.feed("5FF5F00A103000000000A0FA");
  EXPECT_EQ(*ostrel::caluPortsArr, (QList<ostrel::PelSerialPortRef>{rig.port, rig.port}));
  EXPECT_EQ(rig.view->calls.count("updateMainViewContent()"), 2);
}

TEST(Decoder, LogsEachChunkAndEachMessage) {
  DecoderRig rig;
  ostrel::LogCapture capture;
  rig.feed("5FF5F00A1030000000");
  rig.feed("00A0FA5FF506140000000000");
  rig.feed("00A0FA");
  EXPECT_EQ(capture.lines(),
            (QStringList{"didReceiveData string.length = 18",
                         QStringLiteral("接受消息***********command = F0,CommandRe = A, CommandRq = 10, CommandReValue = 30"),
                         "didReceiveData string.length = 24",
                         QStringLiteral("接受消息***********command = 6,CommandRe = 14, CommandRq = 0, CommandReValue = 0"),
                         "didReceiveData string.length = 6"}));
}

// Three messages of different kinds back to back, as a monitor might send them.
const QByteArray kStream = QByteArray("5FF50105000000000000A0FA") + "5FF5F00A0C0500000000A0FA" +
                           "5FF50607000000000000A0FA" + "5FF5F00A040300000000A0FA";
const QStringList kStreamCalls = {"updateViewThresholdDisplay(5)", "receiveMouseMovePointX(-6,0)",
                                  "updateViewSpeedDisplay(3)"};

TEST(Decoder, ReassemblesAtEverySplitPoint) {
  for (qsizetype a = 0; a <= kStream.size(); ++a) {
    for (qsizetype b = a; b <= kStream.size(); b += 5) {
      SCOPED_TRACE(testing::Message() << "split at " << a << " and " << b);
      DecoderRig rig;
      ostrel::LogCapture capture;
      rig.feed(kStream.left(a));
      rig.feed(kStream.mid(a, b - a));
      rig.feed(kStream.mid(b));
      EXPECT_EQ(rig.view->calls, kStreamCalls);
      EXPECT_EQ(capture.lines().filter("didReceiveData string.length").size(), 3);
      EXPECT_EQ(capture.lines().filter(QStringLiteral("接受消息")).size(), 4);
      EXPECT_TRUE(capture.lines().filter("ignored").isEmpty()) << capture.lines().join('\n').toStdString();
      EXPECT_EQ(rig.helper->bufferedByteCount(rig.port), 0);
    }
  }
}

TEST(Decoder, ByteByByteDeliveryDecodesEverything) {
  DecoderRig rig;
  for (const char c : kStream) rig.feed(QByteArray(1, c));
  EXPECT_EQ(rig.view->calls, kStreamCalls);
}

TEST(Decoder, PortsKeepSeparateBuffers) {
  DecoderRig rig;
  auto other = FakeSerialPort::create("ttyFAKE1");
  other->setDelegate(rig.helper);
  rig.helper->serialPortDidReceiveData(rig.port, "5FF501");
  rig.helper->serialPortDidReceiveData(other, "5FF506");
  rig.helper->serialPortDidReceiveData(rig.port, "03000000000000A0FA");
  rig.helper->serialPortDidReceiveData(other, "01000000000000A0FA");
  EXPECT_EQ(rig.view->calls, (QStringList{"updateViewThresholdDisplay(3)", "receiveKeyBoardClickWithCode(121)"}));
}

struct BadInputCase {
  const char* label;
  QList<QByteArray> chunks;
  QStringList calls;
  int ignoredLines;  // lines reporting skipped bytes
};

TEST(Decoder, BadInputIsSkippedAndTheStreamResynchronises) {
  const BadInputCase cases[] = {
      {"noise before a head", {"xyz\r\n5FF50105000000000000A0FA"}, {"updateViewThresholdDisplay(5)"}, 1},
      {"wrong head then a good one", {"5FF40105000000000000A0FA5FF50203000000000000A0FA"}, {"updateViewModeDisplay(3)"}, 1},
      {"non-hex inside the examined part", {"5FF501G5000000000000A0FA5FF50402000000000000A0FA"}, {"updateViewSpeedDisplay(2)"}, 1},
      {"space inside the examined part", {"5FF5 105000000000000A0FA"}, {}, 1},
      {"invalid UTF-8", {QByteArray("\xff\xfe\xc3\x28", 4) + "5FF50105000000000000A0FA"}, {"updateViewThresholdDisplay(5)"}, 1},
      {"UTF-8 text", {QByteArray("显示器") + "5FF50105000000000000A0FA"}, {"updateViewThresholdDisplay(5)"}, 1},
      {"NUL bytes", {QByteArray("\0\0\0", 3) + "5FF50105000000000000A0FA"}, {"updateViewThresholdDisplay(5)"}, 1},
      {"short text", {"5FF5"}, {}, 0},
      {"short text then noise", {"5FF501", "zz"}, {}, 1},
      {"head inside a broken message", {"5FF50G5FF50105000000000000A0FA"}, {"updateViewThresholdDisplay(5)"}, 1},
      {"truncated message then a full one", {"5FF501055FF50203000000000000A0FA"}, {"updateViewModeDisplay(3)"}, 1},
      {"message cut after 12 then another", {"5FF50105000000005FF50203000000000000A0FA"},
       {"updateViewThresholdDisplay(5)", "updateViewModeDisplay(3)"}, 0},
      {"partial head across chunks", {"abc5F", "F50105000000000000A0FA"}, {"updateViewThresholdDisplay(5)"}, 1},
      {"lone 5 then head", {"55FF50105000000000000A0FA"}, {"updateViewThresholdDisplay(5)"}, 1},
  };
  for (const BadInputCase& c : cases) {
    SCOPED_TRACE(c.label);
    DecoderRig rig;
    ostrel::LogCapture capture;
    for (const QByteArray& chunk : c.chunks) rig.feed(chunk);
    EXPECT_EQ(rig.view->calls, c.calls);
    EXPECT_EQ(capture.lines().filter("didReceiveData ignored").size(), c.ignoredLines) << capture.lines().join('\n').toStdString();
    EXPECT_EQ(capture.lines().filter("didReceiveData string.length").size(), c.chunks.size());
  }
}

TEST(Decoder, NoiseNeverGrowsTheBuffer) {
  DecoderRig rig;
  ostrel::LogCapture capture;
  QByteArray noise;
  for (int i = 0; noise.size() < 1024; ++i) noise += (i % 3 == 0) ? "5FF" : (i % 3 == 1) ? "x5" : "5F";
  for (int round = 0; round < 100; ++round) {
    rig.feed(noise);
    EXPECT_LE(rig.helper->bufferedByteCount(rig.port), ostrel::MonitorMessageReassembler::kMaxBufferedBytes);
    EXPECT_LT(rig.helper->bufferedByteCount(rig.port), 12);
  }
  // A head with no end in sight waits only for the examined part.
  rig.feed("5FF50");
  EXPECT_LT(rig.helper->bufferedByteCount(rig.port), 12);
  rig.feed("1050000000000");
  EXPECT_EQ(rig.view->calls, QStringList{"updateViewThresholdDisplay(5)"});
}

TEST(Decoder, ChunkLengthCountsTextNotBytes) {
  DecoderRig rig;
  ostrel::LogCapture capture;
  rig.feed(QByteArray("显示器"));
  EXPECT_EQ(capture.lines().first(), "didReceiveData string.length = 3");
}

TEST(Helper, RemovalDropsEveryEqualEntryAndTheBuffer) {
  DecoderRig rig;
  auto twin = std::make_shared<FakeSerialPort>("ttyFAKE0", rig.port->path());  // same device, another object
  auto other = FakeSerialPort::create("ttyFAKE1");
  *ostrel::caluPortsArr = {rig.port, other, twin, rig.port};
  rig.helper->setSerialPort(rig.port);
  rig.feed("5FF501");
  ASSERT_GT(rig.helper->bufferedByteCount(rig.port), 0);
  ostrel::LogCapture capture;

  rig.port->removeFromSystem();
  EXPECT_EQ(*ostrel::caluPortsArr, QList<ostrel::PelSerialPortRef>{other});
  EXPECT_EQ(rig.view->calls, QStringList{"updateMainViewContent()"});
  EXPECT_EQ(rig.helper->serialPort(), nullptr);
  EXPECT_EQ(rig.helper->bufferedByteCount(rig.port), 0);
  EXPECT_TRUE(capture.contains("serialPortWasRemovedFromSystem  ttyFAKE0"));

  // A second notice for the same port changes nothing but refreshes again.
  rig.helper->serialPortWasRemovedFromSystem(rig.port);
  EXPECT_EQ(*ostrel::caluPortsArr, QList<ostrel::PelSerialPortRef>{other});
  EXPECT_EQ(rig.view->calls.count("updateMainViewContent()"), 2);

  // Bytes from before the removal do not complete a message after it.
  rig.feed("03000000000000A0FA");
  EXPECT_EQ(rig.view->calls.count("updateViewThresholdDisplay(3)"), 0);
}

TEST(Helper, ErrorsAreLoggedAndChangeNothing) {
  DecoderRig rig;
  *ostrel::caluPortsArr = {rig.port};
  ostrel::LogCapture capture;
  const auto error = ostrel::PelPosixError::fromErrno(EIO, rig.port->path());
  rig.helper->serialPortDidEncounterError(rig.port, error);
  EXPECT_EQ(capture.lines(), QStringList{"-[PelSerialPortHelper serialPort:didEncounterError:] ttyFAKE0 " + error.description()});
  EXPECT_EQ(*ostrel::caluPortsArr, QList<ostrel::PelSerialPortRef>{rig.port});
  EXPECT_TRUE(rig.view->calls.isEmpty());
}

TEST(Helper, OpeningIsAnnouncedOnStandardOutput) {
  ostrel::test::CleanMonitorState clean;
  auto helper = std::make_shared<ostrel::PelSerialPortHelper>();
  auto port = FakeSerialPort::create("ttyUSB3");
  port->setDelegate(helper);
  ostrel::LogCapture capture;
  port->open();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !capture.noticeLines().isEmpty(); }));
  EXPECT_EQ(capture.noticeLines(), QStringList{"Serial port ttyUSB3 was opened\n"});
}

TEST(Helper, DeclaresExactlyItsOperations) {
  using Op = ostrel::PelSerialPortDelegateOperation;
  const struct {
    Op op;
    bool implemented;
  } cases[] = {
      {Op::WasRemovedFromSystem, true},
      {Op::DidReceiveData, true},
      {Op::DidReceivePacketMatchingDescriptor, false},
      {Op::DidReceiveResponseToRequest, false},
      {Op::RequestDidTimeout, false},
      {Op::DidEncounterError, true},
      {Op::WasOpened, true},
      {Op::WasClosed, true},
  };
  ostrel::PelSerialPortHelper helper;
  for (const auto& c : cases) EXPECT_EQ(helper.respondsTo(c.op), c.implemented) << static_cast<int>(c.op);
}

TEST(Helper, WithoutAMainWindowNothingIsCalledButMonitorsAreListed) {
  ostrel::test::CleanMonitorState clean;
  auto helper = std::make_shared<ostrel::PelSerialPortHelper>();
  auto port = FakeSerialPort::create("ttyFAKE0");
  helper->serialPortDidReceiveData(port, "5FF50105000000000000A0FA5FF5F00A103000000000A0FA5FF50601000000000000A0FA");
  EXPECT_EQ(*ostrel::caluPortsArr, QList<ostrel::PelSerialPortRef>{port});
}

}  // namespace
