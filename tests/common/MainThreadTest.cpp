#include "common/MainThread.h"
#include "common/NotificationCenter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

void spinUntil(const std::function<bool()>& done, int ms = 2000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(MainThread, PostRunsLaterOnMainInOrder) {
  std::vector<int> seen;
  std::atomic<bool> offMain{false};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i)
      ostrel::mainthread::post([&seen, &offMain, i] {
        if (!ostrel::mainthread::isMainThread()) offMain = true;
        seen.push_back(i);
      });
  });
  worker.join();
  EXPECT_TRUE(seen.empty()) << "post must not run inline";
  spinUntil([&] { return seen.size() == 50; });
  ASSERT_EQ(seen.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(seen[static_cast<size_t>(i)], i);
  EXPECT_FALSE(offMain);
}

TEST(MainThread, RunAndWaitBlocksUntilRunAndIsDirectOnMain) {
  int direct = 0;
  EXPECT_TRUE(ostrel::mainthread::runAndWait([&] { direct = 1; }));
  EXPECT_EQ(direct, 1);

  std::atomic<int> value{0};
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    ostrel::mainthread::runAndWait([&] { value = ostrel::mainthread::isMainThread() ? 7 : -1; });
    returned = (value == 7);
  });
  spinUntil([&] { return returned.load(); });
  worker.join();
  EXPECT_TRUE(returned);
}

TEST(NotificationCenter, NameAndSenderFilteringAndRemoval) {
  auto& center = ostrel::NotificationCenter::defaultCenter();
  int any = 0, fromA = 0;
  int a = 0, b = 0;
  ostrel::ScopedObserver o1(center, center.addObserver("N", nullptr, [&](const ostrel::Notification&) { ++any; }));
  {
    ostrel::ScopedObserver o2(center, center.addObserver("N", &a, [&](const ostrel::Notification& n) {
      ++fromA;
      EXPECT_EQ(std::any_cast<int>(n.userInfo.at("k")), 5);
    }));
    center.post({"N", &a, {{"k", 5}}});
    center.post({"N", &b, {{"k", 5}}});
    center.post({"Other", &a, {}});
  }
  center.post({"N", &a, {{"k", 5}}});
  EXPECT_EQ(any, 3);
  EXPECT_EQ(fromA, 1);
}

}  // namespace
