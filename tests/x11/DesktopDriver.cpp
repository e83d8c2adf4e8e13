#include "DesktopDriver.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QProcess>
#include <thread>

namespace ostrel::testing {
namespace {

bool run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  process.start(program, arguments);
  if (!process.waitForStarted(10000)) {
    ADD_FAILURE() << program.toStdString() << " could not be started";
    return false;
  }
  // Generous: the machine may be busy.
  if (!process.waitForFinished(30000)) {
    ADD_FAILURE() << program.toStdString() << " did not finish";
    process.kill();
    process.waitForFinished();
    return false;
  }
  return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

constexpr std::uint16_t kLock = 0x02;
constexpr std::uint16_t kNumLock = 0x10;

}  // namespace

bool xdotool(const QStringList& arguments) {
  return run(QStringLiteral("xdotool"), arguments);
}

bool setxkbmap(const QStringList& arguments) {
  return run(QStringLiteral("setxkbmap"), arguments);
}

bool waitFor(const std::function<bool()>& done, XTestClient& client, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    client.poll();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void settle(XTestClient& client, std::chrono::milliseconds duration) {
  waitFor([] { return false; }, client, duration);
}

void switchLocksOff(XTestClient& client) {
  const std::uint16_t locked = client.lockedModifiers();
  if (locked & kLock) {
    EXPECT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")}));
  }
  if (locked & kNumLock) {
    EXPECT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")}));
  }
  EXPECT_EQ(client.lockedModifiers() & (kLock | kNumLock), 0);
}

}  // namespace ostrel::testing
