// The process-wide port manager: one instance whatever the thread, hot-plug
// through the default registry, and the clean-up when the program ends.
#include "PortManagerTestSupport.h"

#include "common/Log.h"
#include "support/EventLoopWait.h"
#include "support/PseudoTerminal.h"

#include <gtest/gtest.h>
#include <QProcess>

#include <thread>

namespace ostrel::test {
namespace {

TEST(SharedPortManager, CreatedOnceWhateverTheThreadListingWhatIsPublished) {
  PseudoTerminal early;
  const QString link = early.publish(QStringLiteral("ttySPMearly"));
  ASSERT_FALSE(link.isEmpty());

  LogCapture capture;
  constexpr int kThreads = 8;
  std::atomic<PelSerialPortManager*> seen[kThreads] = {};
  std::atomic<int> done{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      seen[i] = &PelSerialPortManager::sharedSerialPortManager();
      ++done;
    });
  }
  PelSerialPortManager& mine = PelSerialPortManager::sharedSerialPortManager();
  ASSERT_TRUE(runEventLoopUntil([&] { return done == kThreads; }, 20000));
  for (auto& t : threads) t.join();
  for (const auto& s : seen) EXPECT_EQ(s.load(), &mine);

  EXPECT_TRUE(portPaths(mine.availablePorts()).contains(link));
  // The hot-plug watch starts on the main thread even when another thread
  // made the manager; its one summary line says how much is watched.
  ASSERT_TRUE(
      runEventLoopUntil([&] { return capture.lines().filter(QStringLiteral("PelSerialPortManager: ")).size() == 1; }));
  const QString summary = capture.lines().filter(QStringLiteral("PelSerialPortManager: ")).first();
  EXPECT_TRUE(summary.contains(QStringLiteral("serial ports listed; "))) << summary.toStdString();
  // Virtual ports are always watched; udev only where its daemon runs.
  EXPECT_TRUE(summary.contains(QStringLiteral("every device source reports arrivals and departures")) ||
              summary.contains(QStringLiteral("arrivals and departures reported, but not from udev: ")))
      << summary.toStdString();
}

TEST(SharedPortManager, HotPlugReachesTheSharedInstance) {
  PelSerialPortManager& shared = PelSerialPortManager::sharedSerialPortManager();
  ManagerRecorder recorder(shared);
  // Earlier tests' links may still be departing: look for this link only.
  auto announced = [&](const std::vector<PelSerialPortManager::PortList>& lists, const QString& link) {
    for (const auto& l : lists) {
      if (portPaths(l).contains(link)) return true;
    }
    return false;
  };
  PseudoTerminal pty;
  const QString link = pty.publish(QStringLiteral("ttySPMplug"));
  ASSERT_TRUE(runEventLoopUntil([&] {
    std::lock_guard lock(recorder.mutex_);
    return announced(recorder.connectedLists, link);
  }));
  EXPECT_TRUE(portPaths(shared.availablePorts()).contains(link));
  pty.unpublish();
  ASSERT_TRUE(runEventLoopUntil([&] {
    std::lock_guard lock(recorder.mutex_);
    return announced(recorder.disconnectedLists, link);
  }));
  EXPECT_FALSE(portPaths(shared.availablePorts()).contains(link));
}

TEST(SharedPortManager, ProgramEndTellsOpenPortsAndEmptiesTheList) {
  struct Case {
    const char* mode;
    const char* lastLine;
  };
  const Case cases[] = {
      {"app", "after quit 0 listed"},  // the application's quit runs the clean-up
      {"plain", nullptr},              // only the process-exit handler is left
  };
  PseudoTerminal a, b;
  ASSERT_FALSE(a.publish(QStringLiteral("ttySPMexitA")).isEmpty());
  ASSERT_FALSE(b.publish(QStringLiteral("ttySPMexitB")).isEmpty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    QProcess probe;
    probe.start(QString::fromLocal8Bit(qgetenv("OSTREL_BIN_DIR")) + QStringLiteral("/portmanager_exit_probe"),
                {QString::fromLatin1(c.mode)});
    ASSERT_TRUE(probe.waitForFinished(30000)) << probe.errorString().toStdString();
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    // Opened in list order, then every listed port hears of its removal in
    // list order.
    QStringList ours;
    for (const QString& l : lines) {
      if (l.contains(QLatin1String("ttySPMexit"))) ours << l;
    }
    EXPECT_EQ(ours,
              (QStringList{"opened ttySPMexitA", "opened ttySPMexitB", "removed ttySPMexitA", "removed ttySPMexitB"}))
        << lines.join('\n').toStdString();
    if (c.lastLine) {
      EXPECT_EQ(lines.last().toStdString(), c.lastLine);
    }
  }
}

}  // namespace
}  // namespace ostrel::test
