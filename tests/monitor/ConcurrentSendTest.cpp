#include "MonitorTestSupport.h"

#include "common/Log.h"
#include "monitor/MonitorState.h"
#include "monitor/UtilsPelSerialPortsValue.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <atomic>
#include <thread>

namespace {

using ostrel::test::FakeSerialPort;

// Every 24 bytes on the wire must be one whole frame.
int countWholeFrames(const QByteArray& wire, QString* firstBad) {
  static const QRegularExpression frame(QStringLiteral("^5FF5[0-9A-F]{4}000000000000A0FA$"));
  if (wire.size() % 24 != 0) *firstBad = QStringLiteral("length %1").arg(wire.size());
  int whole = 0;
  for (qsizetype i = 0; i + 24 <= wire.size(); i += 24) {
    const QString f = QString::fromLatin1(wire.mid(i, 24));
    if (frame.match(f).hasMatch()) ++whole;
    else if (firstBad->isEmpty()) *firstBad = f;
  }
  return whole;
}

TEST(ConcurrentSend, FramesFromTwoThreadsStayWholeWhileTheCurrentPortChanges) {
  ostrel::test::CleanMonitorState clean;
  ostrel::LogDiscard quiet;
  auto a = FakeSerialPort::create("ttyA");
  auto b = FakeSerialPort::create("ttyB");
  a->open();
  b->open();
  ostrel::currentPort.store(a);
  ostrel::UtilsPelSerialPortsValue utils;

  constexpr int kPerThread = 3000;
  std::atomic<int> sent{0};
  std::atomic<bool> go{false};
  auto hammer = [&](std::int32_t command) {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < kPerThread; ++i)
      if (utils.sendCommand(command, i % 9 + 1)) ++sent;
  };
  // The auto-clear timer's refresh against the user's contrast choices.
  std::thread timerThread(hammer, 3);
  std::thread mainLike(hammer, 1);
  go = true;
  for (int i = 0; i < 2000; ++i) ostrel::currentPort.store(i % 2 ? a : b);
  timerThread.join();
  mainLike.join();

  EXPECT_EQ(sent.load(), 2 * kPerThread);
  QString bad;
  const int whole = countWholeFrames(a->wire(), &bad) + countWholeFrames(b->wire(), &bad);
  EXPECT_TRUE(bad.isEmpty()) << bad.toStdString();
  EXPECT_EQ(whole, 2 * kPerThread);
  EXPECT_EQ(a->frames().size() + b->frames().size(), 2 * kPerThread) << "one write per frame";
}

}  // namespace
