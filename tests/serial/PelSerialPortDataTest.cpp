// The data path of PelSerialPort: writing, reading, command frames, closing
// under load and unplugging, on real pseudo-terminals.

#include "common/Log.h"
#include "serial/PelSerialPort.h"
#include "serial/SerialTestSupport.h"
#include "support/PseudoTerminal.h"

#include <QElapsedTimer>
#include <atomic>
#include <cerrno>
#include <gtest/gtest.h>
#include <thread>

namespace ostrel::test {
namespace {

class SerialPortData : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.valid());
    link = pty.publish(QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    port = PelSerialPort::serialPortWithPath(link);
    ASSERT_TRUE(port);
    port->setDelegate(delegate);
    ASSERT_TRUE(openAndWait(port, *delegate));
    // The pseudo-terminal's "no modem lines" report is not what these tests
    // are about.
    spinFor(20);
    delegate->clear();
  }
  void TearDown() override {
    if (port) closeAndWait(port);
    releaseAndWait(port);
  }

  // Keeps the port's log lines out of the output (and out of glibc's time-zone
  // code, which ThreadSanitizer cannot see locked when threads log at once).
  LogCapture quiet;
  PseudoTerminal pty;
  QString link;
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  PelSerialPort::Ref port;
};

QByteArray pattern(qsizetype size, int seed) {
  QByteArray out(size, Qt::Uninitialized);
  for (qsizetype i = 0; i < size; ++i) out[i] = static_cast<char>((i * 31 + seed) & 0xFF);
  return out;
}

TEST_F(SerialPortData, BytesGoOutExactlyAsGivenAndComeBackInOrder) {
  const QByteArray frame("5FF50105000000000000A0FA");
  ASSERT_TRUE(port->sendData(frame));
  EXPECT_EQ(pty.read(frame.size()), frame);
  EXPECT_TRUE(pty.readAvailable(30).isEmpty()) << "nothing added";

  // Binary bytes, including the ones a cooked terminal would eat or translate.
  QByteArray binary;
  for (int i = 0; i < 256; ++i) binary.append(static_cast<char>(i));
  ASSERT_TRUE(port->sendData(binary));
  EXPECT_EQ(pty.read(binary.size()), binary);
  ASSERT_TRUE(pty.write(binary));
  ASSERT_TRUE(spinUntil([&] { return delegate->receivedData().size() >= binary.size(); }));
  EXPECT_EQ(delegate->receivedData(), binary);
}

TEST_F(SerialPortData, ChunksReachTheDelegateInOrderOnTheMainThread) {
  QByteArray sent;
  for (int i = 0; i < 300; ++i) {
    const QByteArray chunk = QByteArray::number(i) + ';';
    ASSERT_TRUE(pty.write(chunk));
    sent += chunk;
    if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(spinUntil([&] { return delegate->receivedData().size() >= sent.size(); }));
  EXPECT_EQ(delegate->receivedData(), sent);
  EXPECT_TRUE(delegate->allOnMainThread());
  for (const HeardEvent& e : delegate->events()) EXPECT_LE(e.data.size(), 1024);
}

TEST_F(SerialPortData, WriteLargerThanTheTerminalBufferCompletes) {
  const QByteArray big = pattern(1 << 20, 7);
  std::atomic<bool> result{false};
  std::thread writer([&] { result = port->sendData(big); });
  const QByteArray got = pty.read(big.size(), 20000);
  writer.join();
  EXPECT_TRUE(result);
  ASSERT_EQ(got.size(), big.size());
  EXPECT_TRUE(got == big);
}

TEST_F(SerialPortData, WritesFromManyThreadsNeverInterleave) {
  constexpr int kThreads = 4;
  constexpr int kFrames = 25;
  constexpr qsizetype kFrameSize = 6000;  // half a pseudo-terminal buffer: partial writes happen
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int f = 0; f < kFrames; ++f) {
        // Every frame is one byte value repeated: a mixed frame shows at once.
        if (!port->sendData(QByteArray(kFrameSize, static_cast<char>(t * kFrames + f)))) ++failures;
      }
    });
  }
  const QByteArray got = pty.read(kThreads * kFrames * kFrameSize, 30000);
  for (auto& w : writers) w.join();
  EXPECT_EQ(failures, 0);
  ASSERT_EQ(got.size(), kThreads * kFrames * kFrameSize);
  std::vector<int> seen(kThreads * kFrames, 0);
  for (qsizetype off = 0; off < got.size(); off += kFrameSize) {
    const char id = got[off];
    ASSERT_EQ(got.mid(off, kFrameSize), QByteArray(kFrameSize, id)) << "frame at " << off << " is mixed";
    ++seen[static_cast<unsigned char>(id)];
  }
  for (int n : seen) EXPECT_EQ(n, 1);
}

struct SendCase {
  const char* label;
  bool open;
  QByteArray data;
  bool expected;
  bool logs;
};

TEST_F(SerialPortData, SendDataResults) {
  const SendCase cases[] = {
      {"open, data", true, "abc", true, true},
      {"open, empty", true, "", true, false},
      {"closed, data", false, "abc", false, false},
      {"closed, empty", false, "", false, false},
  };
  for (const SendCase& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.open != port->isOpen()) {
      if (c.open) ASSERT_TRUE(openAndWait(port, *delegate));
      else ASSERT_TRUE(closeAndWait(port));
    }
    LogCapture capture;
    EXPECT_EQ(port->sendData(c.data), c.expected);
    if (c.open) {
      EXPECT_EQ(pty.readAvailable(30), c.data);
    }
    EXPECT_EQ(capture.contains(QStringLiteral("\n> has send Data value [writeBuffer length] %1l").arg(c.data.size())),
              c.logs);
  }
}

struct CommandCase {
  std::int32_t command;
  std::int32_t optional;
  QByteArray wire;  // empty: nothing written
  QString logLine;  // a line that must be logged
};

TEST_F(SerialPortData, CommandFramesAndRefusedCommands) {
  const CommandCase cases[] = {
      {1, 5, "5FF50105000000000000A0FA", QStringLiteral("\n> has send Data value 5ff50105000000000000a0fa")},
      {10, 0x1FF, "5FF50AFF000000000000A0FA", QStringLiteral("\n> has send Data value [writeBuffer length] 24l")},
      {240, 0x0A, "5FF5F00A000000000000A0FA", QStringLiteral("\n> has send Data value 5ff5f00a000000000000a0fa")},
      {6, -1, "5FF506FF000000000000A0FA", QStringLiteral("\n> has send Data value 5ff506ff000000000000a0fa")},
      {7, 1, "", QStringLiteral("\n> has send Data value command = 7")},
      {11, 1, "", QStringLiteral("\n> has send Data value command = 11")},
      {0, 1, "", QStringLiteral("\n> has send Data value command = 0")},
      {-3, 1, "", QStringLiteral("\n> has send Data value command = -3")},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.command);
    LogCapture capture;
    port->sendDataWithCommand(c.command, c.optional);
    EXPECT_EQ(pty.readAvailable(30), c.wire);
    EXPECT_TRUE(capture.contains(c.logLine)) << capture.lines().join(QStringLiteral("|")).toStdString();
  }
  ASSERT_TRUE(closeAndWait(port));
  LogCapture capture;
  port->sendDataWithCommand(1, 1);
  EXPECT_EQ(capture.lines(), QStringList{QStringLiteral("\n> has send Data value self.isOpen false")});
  EXPECT_TRUE(pty.readAvailable(30).isEmpty());
}

TEST_F(SerialPortData, WriteToAVanishedDeviceFailsWithTheError) {
  // The delegate's removal call waits on the main thread, which is busy here:
  // the write must fail on its own, not hang.
  pty.closeMaster();
  EXPECT_FALSE(port->sendData("lost"));
  ASSERT_TRUE(spinUntil([&] { return !port->isOpen(); }));
  ASSERT_GE(delegate->count(Heard::Error), 1);
  EXPECT_EQ(delegate->events().front().errorCode, EIO);
  EXPECT_EQ(delegate->count(Heard::Removed), 1);
}

TEST_F(SerialPortData, CloseEndsWithinHalfASecondWhenThePeerNeverReads) {
  // Fill the terminal: the writer blocks, as with a monitor that stopped reading.
  std::atomic<bool> returned{false};
  std::atomic<bool> result{true};
  std::thread writer([&] {
    result = port->sendData(pattern(1 << 20, 3));
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_FALSE(returned) << "the peer never reads, so the write must still be going";
  QElapsedTimer t;
  t.start();
  port->close();
  // Completed = the device is given back (the port thread's own work; the
  // delegate call after it waits for this loop, which a loaded machine delays).
  ASSERT_TRUE(spinUntil([&] { return !port->isOpen(); }, 3000));
  const qint64 elapsed = t.elapsed();
  ASSERT_TRUE(spinUntil([&] { return delegate->count(Heard::Closed) == 1; }, 3000));
  writer.join();
  EXPECT_LT(elapsed, 500);
  EXPECT_TRUE(returned);
  EXPECT_FALSE(result) << "an interrupted write is not a success";
  EXPECT_FALSE(port->isOpen());
}

TEST_F(SerialPortData, AStalledLineDropsFramesPastTheirBoundSaysSoOnceAndRecovers) {
  // A monitor whose microcontroller stopped reading: nothing leaves the line.
  ASSERT_TRUE(pty.setOutputStopped(true));
  const QByteArray frame("5FF50301000000000000A0FA");
  LogCapture log;
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(port->sendData(frame)) << "frame " << i << " was dropped";
  // Frames from another thread are dropped the same way; none waits for ever.
  bool fromThread = true;
  std::thread writer([&] { fromThread = port->sendData(frame); });
  writer.join();
  EXPECT_FALSE(fromThread);
  ASSERT_TRUE(spinUntil([&] { return delegate->count(Heard::Error) == 1; }));
  spinFor(20);
  ASSERT_EQ(delegate->count(Heard::Error), 1) << "the stall is reported once";
  EXPECT_EQ(delegate->events().front().errorCode, ETIMEDOUT);
  EXPECT_EQ(log.lines().filter("took no data").size(), 1);
  EXPECT_TRUE(port->isOpen()) << "a stall is not a removal";

  // The monitor reads again: the dropped frames stay dropped, the next one
  // goes out whole, and a later stall is reported again.
  ASSERT_TRUE(pty.setOutputStopped(false));
  ASSERT_TRUE(port->sendData(frame));
  EXPECT_EQ(pty.readAvailable(), frame);
  ASSERT_TRUE(pty.setOutputStopped(true));
  EXPECT_FALSE(port->sendData(frame));
  EXPECT_TRUE(spinUntil([&] { return delegate->count(Heard::Error) == 2; }));
  ASSERT_TRUE(pty.setOutputStopped(false));
}

TEST_F(SerialPortData, UnplugAndReplugTwoHundredTimesLeaksNothing) {
  ASSERT_TRUE(closeAndWait(port));
  port.reset();
  spinFor(50);
  const int baseline = openDescriptorCount();
  for (int i = 0; i < 200; ++i) {
    PseudoTerminal adapter;
    ASSERT_TRUE(adapter.valid());
    adapter.closeSlave();
    const QString path = adapter.publish(QStringLiteral("usb-adapter"));
    auto p = PelSerialPort::serialPortWithPath(path);
    ASSERT_TRUE(p) << i;
    auto d = std::make_shared<RecordingDelegate>();
    p->setDelegate(d);
    p->open();
    ASSERT_TRUE(p->isOpen()) << i;
    adapter.closeMaster();
    ASSERT_TRUE(spinUntil([&] { return d->count(Heard::Closed) == 1; })) << i;
    EXPECT_EQ(d->count(Heard::Removed), 1) << i;
  }
  EXPECT_TRUE(spinUntil([&] { return openDescriptorCount() <= baseline; }, 2000))
      << openDescriptorCount() << " descriptors, " << baseline << " before";
}

}  // namespace
}  // namespace ostrel::test
