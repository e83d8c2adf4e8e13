#include "common/Log.h"
#include "platform/udev/TtyClassifier.h"
#include "platform/udev/UdevDeviceBackend.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include <QCoreApplication>
#include <atomic>
#include <thread>

namespace ostrel::platform {
namespace {

QString fixtureRoot() {
  return QString::fromLocal8Bit(qgetenv("OSTREL_SOURCE_DIR")) + QStringLiteral("/tests/data/sysfs");
}

QStringList identities(const std::vector<SerialDeviceEntry>& entries) {
  QStringList out;
  for (const auto& e : entries) out << e.identity + QLatin1Char('|') + e.calloutPath + QLatin1Char('|') + e.ttyName;
  return out;
}

TEST(UdevDeviceBackend, FixtureRootIsScannedAndTheSourceLoggedOnce) {
  LogCapture capture;
  UdevDeviceBackend backend({fixtureRoot(), QStringLiteral("/nonexistent/udev/control")});
  EXPECT_EQ(backend.sourceName().toStdString(), "udev");
  EXPECT_TRUE(backend.enumerationSource().isEmpty());
  const auto first = backend.enumerate();
  const auto second = backend.enumerate();
  EXPECT_EQ(backend.enumerationSource().toStdString(), "sysfs scan");
  EXPECT_EQ(identities(first), identities(scanSysfsTtyDevices(fixtureRoot())));
  EXPECT_EQ(identities(first), identities(second));
  const QString line = QStringLiteral("udev: scanning %1/class/tty for serial devices").arg(fixtureRoot());
  EXPECT_EQ(capture.count(line), 1) << capture.lines().join('\n').toStdString();
}

// On the machine itself libudev lists and the classifier decides: the result
// must be exactly what a direct scan of /sys finds.
TEST(UdevDeviceBackend, LibudevListingAgreesWithTheSysfsScan) {
  LogCapture capture;
  UdevDeviceBackend backend;
  const auto listed = backend.enumerate();
  EXPECT_EQ(backend.enumerationSource().toStdString(), "libudev");
  EXPECT_TRUE(capture.contains(QStringLiteral("udev: listing serial devices through libudev")));
  EXPECT_EQ(identities(listed), identities(scanSysfsTtyDevices(QStringLiteral("/sys"))));
  for (const auto& e : listed) {
    EXPECT_TRUE(e.identity.startsWith(QLatin1String("/sys/devices/"))) << e.identity.toStdString();
    EXPECT_TRUE(e.calloutPath.startsWith(QLatin1String("/dev/"))) << e.calloutPath.toStdString();
    EXPECT_NE(e.ttyName, QLatin1String("console"));
  }
}

TEST(UdevDeviceBackend, WatchingWithoutADaemonIsRefusedWithTheReason) {
  UdevDeviceBackend backend({fixtureRoot(), QStringLiteral("/nonexistent/udev/control")});
  QString why;
  int calls = 0;
  EXPECT_FALSE(backend.startWatching([&](const auto&, const auto&) { ++calls; }, &why));
  EXPECT_EQ(why.toStdString(), "no udev daemon is running (/nonexistent/udev/control is missing)");
  EXPECT_FALSE(backend.isWatching());
}

// With the daemon's control socket present the monitor opens (the netlink
// socket is real; no daemon means no events, which is all this checks).
TEST(UdevDeviceBackend, WatchingStartsAndStopsWhenTheDaemonIsThere) {
  QTemporaryDir dir;
  const QString control = dir.path() + QStringLiteral("/control");
  QFile(control).open(QIODevice::WriteOnly);
  UdevDeviceBackend backend({QStringLiteral("/sys"), control});
  QString why;
  ASSERT_TRUE(backend.startWatching([](const auto&, const auto&) {}, &why)) << why.toStdString();
  EXPECT_TRUE(backend.isWatching());
  backend.stopWatching();
  EXPECT_FALSE(backend.isWatching());

  // From another thread the notifier is still set up on the main thread.
  bool started = false;
  std::atomic<bool> done{false};
  std::thread other([&] {
    started = backend.startWatching([](const auto&, const auto&) {}, &why);
    done = true;
  });
  // The other thread waits for the main thread: keep its event loop turning.
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  other.join();
  EXPECT_TRUE(started) << why.toStdString();
  EXPECT_TRUE(backend.isWatching());
}

}  // namespace
}  // namespace ostrel::platform
