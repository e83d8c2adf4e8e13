#include "MonitorTestSupport.h"

#include "common/MainThread.h"
#include "monitor/MonitorState.h"
#include "monitor/PelSerialPortHelper.h"
#include "monitor/UtilsPelSerialPortsValue.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using ostrel::UtilsPelSerialPortsValue;
using ostrel::test::Clock;
using ms = std::chrono::milliseconds;

struct Event {
  QString what;
  Clock::time_point at;
};

struct Journal {
  std::vector<Event> events;
  std::function<void()> note(const QString& what) {
    return [this, what] { events.push_back({what, Clock::now()}); };
  }
  QStringList names() const {
    QStringList out;
    for (const Event& e : events) out << e.what;
    return out;
  }
  const Event* find(const QString& what) const {
    for (const Event& e : events)
      if (e.what == what) return &e;
    return nullptr;
  }
};

long long gapMs(const Journal& j, const QString& from, const QString& to) {
  const Event* a = j.find(from);
  const Event* b = j.find(to);
  if (!a || !b) return -1;
  return std::chrono::duration_cast<ms>(b->at - a->at).count();
}

TEST(PacedSequence, StepsRunInOrderWithAtLeastTheirSpacingAndSequencesQueue) {
  UtilsPelSerialPortsValue utils;
  Journal j;
  utils.runPacedSequence({{j.note("a1"), 330}, {j.note("a2"), 0}, {j.note("a3"), 120}});
  EXPECT_EQ(j.names(), QStringList{"a1"}) << "an idle queue starts at once";
  utils.runPacedSequence({{j.note("b1"), 200}, {j.note("b2"), 0}});
  utils.runPacedSequence({{j.note("c1"), 0}});
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return j.events.size() == 6; }));
  EXPECT_EQ(j.names(), (QStringList{"a1", "a2", "a3", "b1", "b2", "c1"}));
  const struct {
    const char* from;
    const char* to;
    long long atLeast;
  } gaps[] = {{"a1", "a2", 330}, {"a2", "a3", 0}, {"a3", "b1", 120}, {"b1", "b2", 200}, {"b2", "c1", 0}};
  for (const auto& g : gaps) EXPECT_GE(gapMs(j, g.from, g.to), g.atLeast) << g.from << " -> " << g.to;
}

TEST(PacedSequence, WaitsCarryOverToTheNextSequence) {
  UtilsPelSerialPortsValue utils;
  Journal j;
  utils.runPacedSequence({{j.note("first"), 330}});
  ASSERT_EQ(j.events.size(), 1u);
  ostrel::test::spinFor(50);
  utils.runPacedSequence({{j.note("second"), 0}});
  EXPECT_EQ(j.events.size(), 1u) << "a later sequence still honours the earlier wait";
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return j.events.size() == 2; }));
  EXPECT_GE(gapMs(j, "first", "second"), 330);
}

TEST(PacedSequence, TheEventLoopKeepsRunningDuringWaits) {
  ostrel::test::CleanMonitorState clean;
  UtilsPelSerialPortsValue utils;
  auto view = std::make_shared<ostrel::test::RecordingViewController>();
  ostrel::mainViewController = view;
  auto helper = std::make_shared<ostrel::PelSerialPortHelper>();
  auto port = ostrel::test::FakeSerialPort::create("ttyFAKE0");
  port->setDelegate(helper);
  port->open();

  Journal j;
  utils.runPacedSequence({{j.note("ask"), 330},
                          {[&] { j.events.push_back({"next ask; replies seen: " + view->calls.join(','), Clock::now()}); },
                           0}});
  // A posted event and a reply from the monitor arrive during the wait.
  ostrel::mainthread::post(j.note("posted work"));
  port->deliver("5FF5F00A010400000000A0FA");
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return j.events.size() == 3; }));
  EXPECT_EQ(j.names(), (QStringList{"ask", "posted work", "next ask; replies seen: updateViewThresholdDisplay(4)"}));
}

TEST(PacedSequence, AStepMayStartAnotherSequenceWhichQueuesBehind) {
  UtilsPelSerialPortsValue utils;
  Journal j;
  utils.runPacedSequence({{[&] {
                             j.note("outer1")();
                             utils.runPacedSequence({{j.note("inner1"), 0}});
                           },
                           40},
                          {j.note("outer2"), 0}});
  EXPECT_EQ(j.names(), QStringList{"outer1"}) << "nothing runs inside the step that queued it";
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return j.events.size() == 3; }));
  EXPECT_EQ(j.names(), (QStringList{"outer1", "outer2", "inner1"}));
}

TEST(PacedSequence, SequencesFromOtherThreadsRunOnTheMainThread) {
  UtilsPelSerialPortsValue utils;
  std::atomic<int> offMain{0};
  std::atomic<int> ran{0};
  std::thread worker([&] {
    utils.runPacedSequence({{[&] {
                               if (!ostrel::mainthread::isMainThread()) ++offMain;
                               ++ran;
                             },
                             0}});
  });
  worker.join();
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return ran.load() == 1; }));
  EXPECT_EQ(offMain.load(), 0);
}

TEST(PacedSequence, DestroyingTheOwnerDropsWaitingSteps) {
  Journal j;
  {
    UtilsPelSerialPortsValue utils;
    utils.runPacedSequence({{j.note("ran"), 100}, {j.note("dropped"), 0}});
  }
  ostrel::test::spinFor(250);
  EXPECT_EQ(j.names(), QStringList{"ran"});
}

TEST(PacedSequence, AStepMayDestroyItsOwner) {
  Journal j;
  auto utils = std::make_unique<UtilsPelSerialPortsValue>();
  utils->runPacedSequence({{j.note("first"), 30}, {[&] { utils.reset(); }, 0}, {j.note("never"), 0}});
  ASSERT_TRUE(ostrel::test::waitUntil([&] { return utils == nullptr; }));
  ostrel::test::spinFor(100);
  EXPECT_EQ(j.names(), QStringList{"first"});
}

}  // namespace
