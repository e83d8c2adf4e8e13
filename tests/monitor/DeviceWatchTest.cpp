// The two parts held ports are waited with: the kernel's word on each close
// of a device node, and the look-up of who holds a device, off the main thread.
#include "common/MainThread.h"
#include "monitor/DeviceUsersLookup.h"
#include "platform/posix/InotifyCloseWatch.h"
#include "support/ChildProcess.h"
#include "MonitorTestSupport.h"
#include "support/PseudoTerminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <vector>

namespace {

using ostrel::test::PseudoTerminal;

// The watch itself: the node behind a link, each close of it, two links to one node.
TEST(InotifyCloseWatch, TellsEachCloseOfTheNodeBehindALinkByTheGivenPathUntilUnwatched) {
  PseudoTerminal line;
  const QString link = line.publish(QStringLiteral("ttyWATCHED"));
  ASSERT_FALSE(link.isEmpty());
  const QString secondLink = QDir::tempPath() + QStringLiteral("/ostrel-by-id-%1").arg(::getpid());
  QFile::remove(secondLink);
  ASSERT_TRUE(QFile::link(line.slavePath(), secondLink));
  ostrel::platform::InotifyCloseWatch watch;
  QStringList told;
  watch.setClosedHandler([&told](const QString& path) { told << path; });
  const int before = ostrel::test::openDescriptorCount();
  QString why;
  ASSERT_TRUE(watch.watch(link, &why)) << why.toStdString();
  ASSERT_TRUE(watch.watch(secondLink, &why)) << why.toStdString();
  EXPECT_TRUE(watch.watch(link, &why)) << "a second watch of a path changes nothing";
  EXPECT_EQ(watch.nodeWatchCount(), 1u);
  EXPECT_FALSE(watch.watch(link + QStringLiteral("-missing"), &why));
  EXPECT_EQ(why, QStringLiteral("%1-missing leads to no device").arg(link));

  const int fd = ::open(QFile::encodeName(line.slavePath()).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ostrel::test::spinFor(100);
  EXPECT_TRUE(told.isEmpty()) << "an open is no close";
  ::close(fd);
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return told.size() == 2; }));
  EXPECT_EQ(told, (QStringList{link, secondLink}));

  told.clear();
  watch.unwatch(secondLink);
  ::close(::open(QFile::encodeName(link).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK));
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return !told.isEmpty(); }));
  ostrel::test::spinFor(100);
  EXPECT_EQ(told, QStringList{link});

  // The last unwatch gives the descriptor back.
  watch.unwatch(link);
  EXPECT_EQ(watch.nodeWatchCount(), 0u);
  EXPECT_EQ(ostrel::test::openDescriptorCount(), before);
  QFile::remove(secondLink);
}

TEST(InotifyCloseWatch, ANodeThatGoesAwayIsToldOnceMoreAndItsWatchEnds) {
  PseudoTerminal line;
  const QString link = line.publish(QStringLiteral("ttyVANISHING"));
  ASSERT_FALSE(link.isEmpty());
  ostrel::platform::InotifyCloseWatch watch;
  int told = 0;
  watch.setClosedHandler([&told, &link](const QString& path) { told += path == link ? 1 : 0; });
  QString why;
  ASSERT_TRUE(watch.watch(link, &why)) << why.toStdString();
  const int before = ostrel::test::openDescriptorCount();
  // Unplugged: both ends closed, the kernel removes the terminal's node.
  line.closeMaster();
  line.closeSlave();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return watch.nodeWatchCount() == 0; }));
  EXPECT_GE(told, 1);
  // The line's two ends, and the inotify descriptor with the last watch.
  EXPECT_EQ(ostrel::test::openDescriptorCount(), before - 3);
}

TEST(DeviceUsersLookup, AnswersOnTheMainThreadInTheOrderAskedAndNeverAfterItIsGone) {
  PseudoTerminal line;
  const QString link = line.publish(QStringLiteral("ttyLOOKUP"));
  ASSERT_FALSE(link.isEmpty());
  ostrel::test::ChildProcess terminalProgram;
  QString error;
  ASSERT_TRUE(ostrel::test::holdOpen(terminalProgram, link, &error)) << error.toStdString();

  ostrel::DeviceUsersLookup lookup;
  std::vector<int> order;
  bool onMainThread = true;
  for (int i = 0; i < 3; ++i) {
    lookup.lookUp({link}, [&, i](ostrel::DeviceUsersLookup::Users users) {
      order.push_back(i);
      onMainThread = onMainThread && ostrel::mainthread::isMainThread();
      ASSERT_EQ(users.count(link), 1u);
      EXPECT_EQ(users.at(link).front().pid, terminalProgram.pid());
    });
  }
  EXPECT_TRUE(order.empty()) << "the processes are read off the main thread, not in lookUp()";
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(onMainThread);

  bool answeredAtOnce = false;
  lookup.lookUp({}, [&](ostrel::DeviceUsersLookup::Users users) { answeredAtOnce = users.empty(); });
  EXPECT_TRUE(answeredAtOnce) << "nothing to read, nothing to wait for";

  bool late = false;
  auto gone = std::make_unique<ostrel::DeviceUsersLookup>();
  gone->lookUp({link}, [&](ostrel::DeviceUsersLookup::Users) { late = true; });
  gone.reset();
  ostrel::test::spinFor(200);
  EXPECT_FALSE(late) << "an answer for an owner that is gone";
}

}  // namespace
