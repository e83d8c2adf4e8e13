// A port Ostrel cannot open is explained once, in words a person can act on:
// a port held by another program, met at two discovery passes, gets one line.

#include "MonitorTestSupport.h"

#include "common/Log.h"
#include "monitor/MonitorState.h"
#include "monitor/PortOpenAdvice.h"
#include "monitor/UtilsPelSerialPortsValue.h"
#include "platform/posix/VirtualPortBackend.h"
#include "serial/PelDeviceRegistry.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"
#include "support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

TEST(PortOpenAdvice, NamesWhatToDoForAccessAndContentionOnly) {
  // Without access: the udev rule, the two commands that apply it to an
  // adapter already plugged in, and the group for adapters it does not cover.
  const QStringList access = {"70-ostrel.rules", "\"sudo udevadm control --reload\"", "\"sudo udevadm trigger\"",
                              "dialout"};
  const struct {
    int error;
    QStringList mustMention;  // empty: no advice
  } cases[] = {
      {EACCES, access}, {EPERM, access}, {EBUSY, {"ModemManager"}}, {EWOULDBLOCK, {"brltty"}}, {ENOENT, {}},
      {ENXIO, {}},      {EIO, {}},
  };
  for (const auto& c : cases) {
    const QString advice = ostrel::PortOpenAdvice::adviceFor(c.error);
    EXPECT_EQ(advice.isEmpty(), c.mustMention.isEmpty()) << c.error;
    for (const QString& part : c.mustMention)
      EXPECT_TRUE(advice.contains(part)) << c.error << " lacks " << part.toStdString() << ": " << advice.toStdString();
  }
}

TEST(PortOpenAdvice, APortHeldByAnotherProgramIsExplainedOnceAcrossPasses) {
  ostrel::test::CleanMonitorState clean;
  ostrel::LogCapture capture;
  ostrel::test::PseudoTerminal line;
  const QString link = line.publish(QStringLiteral("ttyHELD"));
  ASSERT_FALSE(link.isEmpty());
  // Another program holds the line the way Ostrel itself would.
  const int other = ::open(line.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);

  ostrel::PelDeviceRegistry registry;
  registry.addBackend(ostrel::platform::makeVirtualPortBackend());
  ostrel::PelSerialPortManager manager(registry);
  ostrel::UtilsPelSerialPortsValue utils;
  utils.setAvailablePortsSource([&] {
    QList<ostrel::PelSerialPortRef> listed;
    for (const auto& p : manager.availablePorts()) listed << p;
    return listed;
  });
  utils.startPinAvailablePorts(std::make_shared<QList<ostrel::PelSerialPortRef>>(),
                               std::make_shared<ostrel::test::RecordingViewController>());
  utils.startPin();
  ostrel::test::spinFor(200);
  utils.startPin();
  ostrel::test::spinFor(200);

  int advice = 0;
  for (const QString& l : capture.lines()) {
    if (l.startsWith(link + QStringLiteral(" can't be opened: another program is using it"))) ++advice;
  }
  EXPECT_EQ(advice, 1) << capture.lines().join(QLatin1Char('\n')).toStdString();
  ::close(other);
}

}  // namespace
