// The port manager against real pseudo-terminals published in the virtual-port
// directory, with a registry of its own (the machine's own serial lines stay
// out of the picture).
#include "PortManagerTestSupport.h"

#include "common/Log.h"
#include "platform/posix/VirtualPortBackend.h"
#include "platform/posix/VirtualPortDirectory.h"
#include "serial/PelDeviceRegistry.h"
#include "support/EventLoopWait.h"
#include "support/PseudoTerminal.h"

#include <gtest/gtest.h>
#include <QFile>

#include <unistd.h>

namespace ostrel::test {
namespace {

using Kind = PelSerialPortManager::AvailablePortsChange::Kind;

class PortManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QString error;
    const auto dir = platform::ensureVirtualPortDirectory(&error);
    ASSERT_TRUE(dir) << error.toStdString();
    directory = *dir;
    registry.addBackend(platform::makeVirtualPortBackend());
  }
  void TearDown() override {
    for (const QString& extra : extraLinks) QFile::remove(extra);
  }

  // A pseudo-terminal published under `name`.
  std::unique_ptr<PseudoTerminal> publish(const QString& name) {
    auto pty = std::make_unique<PseudoTerminal>();
    EXPECT_TRUE(pty->valid());
    EXPECT_FALSE(pty->publish(name).isEmpty()) << name.toStdString();
    return pty;
  }
  QString linkPath(const QString& name) const { return directory + QLatin1Char('/') + name; }
  QString plantLink(const QString& name, const QString& target) {
    const QString link = linkPath(name);
    EXPECT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
    extraLinks << link;
    return link;
  }

  QString directory;
  PelDeviceRegistry registry;
  QStringList extraLinks;
};

TEST_F(PortManagerTest, ListsPublishedPseudoTerminalsInNameOrder) {
  auto b = publish(QStringLiteral("ttyPMb"));
  auto a = publish(QStringLiteral("ttyPMa"));
  PelSerialPortManager manager(registry);
  const auto ports = manager.availablePorts();
  EXPECT_EQ(portPaths(ports), (QStringList{a->linkPath(), b->linkPath()}));
  ASSERT_EQ(manager.countOfAvailablePorts(), 2);
  EXPECT_EQ(manager.objectInAvailablePortsAtIndex(0)->name().toStdString(), "ttyPMa");
  EXPECT_EQ(manager.objectInAvailablePortsAtIndex(1)->name().toStdString(), "ttyPMb");
  EXPECT_EQ(manager.objectInAvailablePortsAtIndex(2), nullptr);
  EXPECT_EQ(manager.objectInAvailablePortsAtIndex(-1), nullptr);
}

TEST_F(PortManagerTest, LinksToAnythingButATerminalAreIgnoredWithOneLineEach) {
  QFile regular(directory + QStringLiteral("/../not-a-device"));
  ASSERT_TRUE(regular.open(QIODevice::WriteOnly));
  regular.write("x");
  regular.close();
  extraLinks << regular.fileName();

  struct Junk {
    const char* name;
    QString target;
  };
  const Junk junk[] = {
      {"ttyNull", QStringLiteral("/dev/null")},
      {"ttyFile", regular.fileName()},
      {"ttyGone", directory + QStringLiteral("/../no-such-target")},
  };
  LogCapture capture;
  QStringList links;
  for (const Junk& j : junk) links << plantLink(QString::fromLatin1(j.name), j.target);
  auto good = publish(QStringLiteral("ttyPMgood"));

  PelSerialPortManager manager(registry);
  ManagerRecorder recorder(manager);
  EXPECT_EQ(portPaths(manager.availablePorts()), QStringList{good->linkPath()});

  // A later arrival rescans the directory; the junk is not reported again.
  auto later = publish(QStringLiteral("ttyPMlater"));
  ASSERT_TRUE(runEventLoopUntil([&] { return recorder.connectedCount() >= 1; }));
  EXPECT_EQ(portPaths(manager.availablePorts()), (QStringList{good->linkPath(), later->linkPath()}));
  for (const QString& link : links) {
    int mentions = 0;
    for (const QString& line : capture.lines()) mentions += line.contains(link) ? 1 : 0;
    EXPECT_EQ(mentions, 1) << link.toStdString() << "\n" << capture.lines().join('\n').toStdString();
  }
}

TEST_F(PortManagerTest, CreatingALinkPostsConnectedWithThatPort) {
  PelSerialPortManager manager(registry);
  ManagerRecorder recorder(manager);
  LogCapture capture;
  ASSERT_EQ(manager.countOfAvailablePorts(), 0);

  auto pty = publish(QStringLiteral("ttyPMnew"));
  ASSERT_TRUE(runEventLoopUntil([&] { return recorder.connectedCount() >= 1; }));
  runEventLoopFor(100);  // nothing more is to come

  std::lock_guard lock(recorder.mutex_);
  ASSERT_EQ(recorder.connectedLists.size(), 1u);
  EXPECT_EQ(portPaths(recorder.connectedLists[0]), QStringList{pty->linkPath()});
  EXPECT_FALSE(recorder.postedOffMainThread);
  EXPECT_FALSE(recorder.missingUserInfo);
  EXPECT_EQ(portPaths(manager.availablePorts()), QStringList{pty->linkPath()});
  EXPECT_EQ(manager.availablePorts()[0], recorder.connectedLists[0][0]) << "the listed port is the announced one";
  ASSERT_EQ(recorder.changes.size(), 1u);
  EXPECT_EQ(recorder.changes[0].kind, Kind::Insertion);
  EXPECT_EQ(recorder.changes[0].indexes, QList<qsizetype>{0});
  EXPECT_EQ(capture.count(QStringLiteral("PelSerialPortManagerPortsPublishedNotificationCallback")), 1);
  EXPECT_TRUE(recorder.disconnectedLists.empty());
}

TEST_F(PortManagerTest, RemovingTheLinkOfAnOpenPortTellsItsDelegateAndDropsIt) {
  auto keep = publish(QStringLiteral("ttyPMkeep"));
  auto pty = publish(QStringLiteral("ttyPMgone"));
  PelSerialPortManager manager(registry);
  ManagerRecorder recorder(manager);
  LogCapture capture;
  ASSERT_EQ(manager.countOfAvailablePorts(), 2);
  const auto port = manager.objectInAvailablePortsAtIndex(0);
  ASSERT_EQ(port->name().toStdString(), "ttyPMgone");
  auto delegate = std::make_shared<RecordingDelegate>();
  port->setDelegate(delegate);
  port->open();
  ASSERT_TRUE(runEventLoopUntil([&] { return delegate->opened == 1; })) << delegate->events().join(',').toStdString();

  pty->unpublish();
  ASSERT_TRUE(runEventLoopUntil([&] { return recorder.disconnectedCount() >= 1; }));
  ASSERT_TRUE(runEventLoopUntil([&] { return !port->isOpen(); }));
  runEventLoopFor(100);

  EXPECT_EQ(delegate->removed, 1) << delegate->events().join(',').toStdString();
  EXPECT_FALSE(delegate->offMainThread);
  EXPECT_EQ(portPaths(manager.availablePorts()), QStringList{keep->linkPath()});
  std::lock_guard lock(recorder.mutex_);
  ASSERT_EQ(recorder.disconnectedLists.size(), 1u);
  ASSERT_EQ(recorder.disconnectedLists[0].size(), 1);
  EXPECT_EQ(recorder.disconnectedLists[0][0], port) << "the listed object itself is announced";
  ASSERT_EQ(recorder.changes.size(), 1u);
  EXPECT_EQ(recorder.changes[0].kind, Kind::Removal);
  EXPECT_EQ(recorder.changes[0].indexes, QList<qsizetype>{0});
  EXPECT_EQ(capture.count(QStringLiteral("PelSerialPortManagerPortsTerminatedNotificationCallback")), 1);
  EXPECT_TRUE(recorder.connectedLists.empty());
}

TEST_F(PortManagerTest, RepublishingAListedDeviceIsNotListedTwiceButStillAnnounced) {
  auto pty = publish(QStringLiteral("ttyPMtwice"));
  auto other = publish(QStringLiteral("ttyPMfresh"));
  ::unlink(QFile::encodeName(other->linkPath()).constData());
  PelSerialPortManager manager(registry);
  ASSERT_EQ(manager.countOfAvailablePorts(), 1);
  ManagerRecorder recorder(manager);
  const auto listed = registry.deviceFromBSDPath(pty->linkPath());
  ASSERT_TRUE(listed);

  struct Case {
    const char* what;
    bool includeFresh;
    QStringList expectNew;
  };
  const Case cases[] = {
      {"the same device again", false, {}},
      {"the same device twice and a new one", true, {other->linkPath()}},
      {"all of it once more", true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<platform::SerialDeviceEntry> batch{*listed, *listed};
    if (c.includeFresh) {
      ASSERT_EQ(::symlink(QFile::encodeName(other->slavePath()).constData(),
                          QFile::encodeName(other->linkPath()).constData()) == 0 ||
                    errno == EEXIST,
                true);
      const auto fresh = registry.deviceFromBSDPath(other->linkPath());
      ASSERT_TRUE(fresh);
      batch.push_back(*fresh);
    }
    const std::size_t before = recorder.connectedCount();
    PelSerialPortManagerPortsPublishedNotificationCallback(&manager, batch);
    ASSERT_EQ(recorder.connectedCount(), before + 1) << "posted also with an empty list";
    std::lock_guard lock(recorder.mutex_);
    EXPECT_EQ(portPaths(recorder.connectedLists.back()), c.expectNew);
  }
  runEventLoopFor(200);  // let the directory watch settle; the link already arrived by hand
  EXPECT_EQ(portPaths(manager.availablePorts()), (QStringList{pty->linkPath(), other->linkPath()}));
}

TEST_F(PortManagerTest, ACallbackWithAForeignContextIsLoggedAndDropped) {
  auto pty = publish(QStringLiteral("ttyPMctx"));
  PelSerialPortManager manager(registry);
  ManagerRecorder recorder(manager);
  const auto entry = registry.deviceFromBSDPath(pty->linkPath());
  ASSERT_TRUE(entry);
  int notAManager = 0;
  struct Case {
    void* context;
    bool published;
    QString expect;
  };
  const Case cases[] = {
      {nullptr, true,
       QStringLiteral(
           "Unexpected context object (null) in void PelSerialPortManagerPortsPublishedNotificationCallback(void *, "
           "io_iterator_t). Context object should be an instance of PelSerialPortManager")},
      {&notAManager, false,
       QStringLiteral(
           "Unexpected context object <0x%1> in void PelSerialPortManagerPortsTerminatedNotificationCallback(void *, "
           "io_iterator_t). Context object should be an instance of PelSerialPortManager")
           .arg(quintptr(&notAManager), 0, 16)},
  };
  for (const Case& c : cases) {
    LogCapture capture;
    if (c.published) {
      PelSerialPortManagerPortsPublishedNotificationCallback(c.context, {*entry});
    } else {
      PelSerialPortManagerPortsTerminatedNotificationCallback(c.context, {*entry});
    }
    EXPECT_EQ(capture.lines(), QStringList{c.expect});
  }
  EXPECT_EQ(manager.countOfAvailablePorts(), 1);
  EXPECT_EQ(recorder.connectedCount() + recorder.disconnectedCount(), 0u);
}

TEST_F(PortManagerTest, QuickReplugWithAnotherDeviceReplacesThePort) {
  auto first = publish(QStringLiteral("ttyPMswap"));
  PseudoTerminal second;
  ASSERT_TRUE(second.valid());
  PelSerialPortManager manager(registry);
  ManagerRecorder recorder(manager);
  const auto oldPort = manager.objectInAvailablePortsAtIndex(0);
  ASSERT_TRUE(oldPort);

  // Same name, another terminal behind it: the old port departs, a new one arrives.
  const QString tmp = first->linkPath() + QStringLiteral(".tmp");
  ASSERT_EQ(::symlink(QFile::encodeName(second.slavePath()).constData(), QFile::encodeName(tmp).constData()), 0);
  ASSERT_EQ(::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(first->linkPath()).constData()), 0);
  ASSERT_TRUE(runEventLoopUntil([&] { return recorder.connectedCount() >= 1 && recorder.disconnectedCount() >= 1; }));
  runEventLoopFor(100);

  ASSERT_EQ(manager.countOfAvailablePorts(), 1);
  const auto newPort = manager.objectInAvailablePortsAtIndex(0);
  EXPECT_NE(newPort, oldPort);
  EXPECT_EQ(newPort->path(), first->linkPath());
  EXPECT_NE(newPort->IOKitDevice().identity, oldPort->IOKitDevice().identity);
  std::lock_guard lock(recorder.mutex_);
  ASSERT_EQ(recorder.disconnectedLists.size(), 1u);
  EXPECT_EQ(recorder.disconnectedLists[0], PelSerialPortManager::PortList{oldPort});
  ASSERT_EQ(recorder.connectedLists.size(), 1u);
  EXPECT_EQ(recorder.connectedLists[0], PelSerialPortManager::PortList{newPort});
}

TEST_F(PortManagerTest, ExitCleanupTellsEveryPortInOrderClosesAndEmptiesTheList) {
  auto a = publish(QStringLiteral("ttyPMexitA"));
  auto b = publish(QStringLiteral("ttyPMexitB"));
  PelSerialPortManager manager(registry);
  ManagerRecorder recorder(manager);
  const auto ports = manager.availablePorts();
  ASSERT_EQ(ports.size(), 2);
  auto delegate = std::make_shared<RecordingDelegate>();
  for (const auto& p : ports) p->setDelegate(delegate);
  ports[1]->open();
  ASSERT_TRUE(runEventLoopUntil([&] { return delegate->opened == 1; }));
  ASSERT_EQ(threadsNamed(QStringLiteral("ostrel-port")), 1);

  // When it returns, every port has closed and its thread is gone: nothing of
  // the ports runs once the exit takes the application apart.
  manager.cleanupAllPortsForExit();
  EXPECT_EQ(manager.countOfAvailablePorts(), 0);
  EXPECT_FALSE(ports[1]->isOpen());
  EXPECT_EQ(threadsNamed(QStringLiteral("ostrel-port")), 0);
  const QStringList events = delegate->events();
  EXPECT_EQ(events.filter(QStringLiteral("removed")),
            (QStringList{QStringLiteral("removed ttyPMexitA"), QStringLiteral("removed ttyPMexitB")}));
  EXPECT_EQ(events.filter(QStringLiteral("closed")), QStringList{QStringLiteral("closed ttyPMexitB")})
      << "told on the main thread while the exit waited";
  {
    std::lock_guard lock(recorder.mutex_);
    ASSERT_EQ(recorder.changes.size(), 1u);
    EXPECT_EQ(recorder.changes[0].kind, Kind::Replacement);
    EXPECT_TRUE(recorder.changes[0].ports.isEmpty());
  }
  manager.cleanupAllPortsForExit();  // nothing left to do
  EXPECT_EQ(delegate->removed, 2);
  std::lock_guard lock(recorder.mutex_);
  EXPECT_EQ(recorder.changes.size(), 1u);
}

TEST_F(PortManagerTest, IndexedAccessorsChangeTheListAndTellObservers) {
  auto a = publish(QStringLiteral("ttyPMidx0"));
  auto b = publish(QStringLiteral("ttyPMidx1"));
  auto c = publish(QStringLiteral("ttyPMidx2"));
  PelSerialPortManager manager(registry);
  const auto all = manager.availablePorts();
  ASSERT_EQ(all.size(), 3);
  const auto p0 = all[0], p1 = all[1], p2 = all[2];
  using PL = PelSerialPortManager::PortList;
  using IL = QList<qsizetype>;
  enum class Op { Insert, Remove };
  struct Case {
    const char* what;
    Op op;
    PL ports;
    IL indexes;
    bool ok;
    PL after;
    const char* logged;  // substring of the refusal line, or nullptr
  };
  const Case cases[] = {
      {"remove first and last", Op::Remove, {}, {0, 2}, true, {p1}, nullptr},
      {"insert them back around", Op::Insert, {p0, p2}, {0, 2}, true, {p0, p1, p2}, nullptr},
      {"remove beyond the end",
       Op::Remove,
       {},
       {1, 3},
       false,
       {p0, p1, p2},
       "index 3 is beyond the end of a list of 3"},
      {"remove unordered", Op::Remove, {}, {2, 0}, false, {p0, p1, p2}, "indexes [2, 0] are not ascending"},
      {"remove duplicate", Op::Remove, {}, {1, 1}, false, {p0, p1, p2}, "indexes [1, 1] are not ascending"},
      {"remove negative", Op::Remove, {}, {-1}, false, {p0, p1, p2}, "indexes [-1] are not ascending"},
      {"insert count mismatch", Op::Insert, {p0}, {0, 1}, false, {p0, p1, p2}, "1 ports for 2 indexes"},
      {"insert beyond the end", Op::Insert, {p0}, {4}, false, {p0, p1, p2}, "index 4 is beyond the end of a list of 3"},
      {"insert a missing port", Op::Insert, {nullptr}, {0}, false, {p0, p1, p2}, "a port is missing"},
      {"insert at the end", Op::Insert, {p1}, {3}, true, {p0, p1, p2, p1}, nullptr},
      {"remove the last", Op::Remove, {}, {3}, true, {p0, p1, p2}, nullptr},
      {"nothing to remove", Op::Remove, {}, {}, true, {p0, p1, p2}, nullptr},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.what);
    ManagerRecorder recorder(manager);
    LogCapture capture;
    const bool ok = tc.op == Op::Insert ? manager.insertAvailablePorts(tc.ports, tc.indexes)
                                        : manager.removeAvailablePortsAtIndexes(tc.indexes);
    EXPECT_EQ(ok, tc.ok);
    EXPECT_EQ(manager.availablePorts(), tc.after);
    std::lock_guard lock(recorder.mutex_);
    const bool changed = tc.ok && !tc.indexes.isEmpty();
    ASSERT_EQ(recorder.changes.size(), changed ? 1u : 0u);
    if (changed) {
      EXPECT_EQ(recorder.changes[0].kind, tc.op == Op::Insert ? Kind::Insertion : Kind::Removal);
      EXPECT_EQ(recorder.changes[0].indexes, tc.indexes);
    }
    if (tc.logged) {
      ASSERT_EQ(capture.lines().size(), 1);
      EXPECT_TRUE(capture.lines()[0].contains(QLatin1String(tc.logged))) << capture.lines()[0].toStdString();
    } else {
      EXPECT_TRUE(capture.lines().isEmpty());
    }
  }
  // The single-object forms are the same operations.
  EXPECT_TRUE(manager.removeObjectFromAvailablePortsAtIndex(1));
  EXPECT_EQ(manager.availablePorts(), (PL{p0, p2}));
  EXPECT_TRUE(manager.insertObjectInAvailablePortsAtIndex(p1, 1));
  EXPECT_EQ(manager.availablePorts(), (PL{p0, p1, p2}));
  EXPECT_FALSE(manager.removeObjectFromAvailablePortsAtIndex(3));
}

}  // namespace
}  // namespace ostrel::test
