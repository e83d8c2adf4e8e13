// When Ostrel refreshes by itself, as a user runs it: Auto Clear rests while
// the X session is idle (the X server's own idle time, with keys typed through
// xdotool) or locked (logind's LockedHint, from a stand-in logind on a private
// system bus), and a fast refresh follows every Nth page turn of the monitor
// or the keyboard. Frames are read at the simulated monitor; the settings and
// the status go through ostrelctl on the test's session bus.

#include "support/ChildProcess.h"
#include "support/OstrelProcess.h"
#include "support/PrivateBus.h"
#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>
#include <thread>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;
using Clock = MonotonicClock;
using Environment = std::map<QString, std::optional<QString>>;

constexpr qint64 kControl = 0x40000;

QByteArray refreshFrame() {
  return commandFrame(3, 1);
}

qint64 ms(Clock::duration d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

void pause(std::chrono::milliseconds d) {
  std::this_thread::sleep_for(d);
}

struct CtlRun {
  int status = -1;
  QString out;
  QString err;
};

CtlRun ostrelctl(const QStringList& arguments) {
  ChildProcess process;
  CtlRun run;
  QString error;
  if (!process.start(buildProgram(QStringLiteral("ostrelctl")), arguments, &error)) {
    ADD_FAILURE() << error.toStdString();
    return run;
  }
  const std::optional<ChildExit> exit = process.waitForExit(30s);
  process.waitForEndOfStreams(5s);
  if (!exit || !exit->exited) {
    ADD_FAILURE() << "ostrelctl " << arguments.join(' ').toStdString() << " did not end by itself";
    return run;
  }
  run.status = exit->status;
  for (const StampedLine& line : process.lines(ChildStream::Output)) run.out += QString::fromUtf8(line.text) + '\n';
  for (const StampedLine& line : process.lines(ChildStream::Error)) run.err += QString::fromUtf8(line.text) + '\n';
  return run;
}

// What `ostrelctl status --json` says about Auto Clear.
QJsonObject autoClearStatus() {
  const CtlRun run = ostrelctl({QStringLiteral("status"), QStringLiteral("--json")});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  return QJsonDocument::fromJson(run.out.toUtf8()).object().value(QStringLiteral("autoClear")).toObject();
}

// A key nothing acts on: the X server counts it as input all the same.
bool touchKeyboard() {
  return xdotool({QStringLiteral("key"), QStringLiteral("shift")});
}

// Ostrel and one monitor, started in the test's session with these settings.
class Session {
 public:
  explicit Session(const QMap<QString, qint64>& preferences, const Environment& environment = {})
      : monitor(16, QStringLiteral("rest-sim%1").arg(next_++)) {
    EXPECT_TRUE(writePreferences(preferences));
    QString error;
    EXPECT_TRUE(monitor.start(&error)) << error.toStdString();
    for (const auto& [name, value] : environment) ostrel.setEnvironment(name, value);
    EXPECT_TRUE(ostrel.start(&error)) << error.toStdString();
    EXPECT_TRUE(ostrel.waitUntilReady()) << ostrel.logText().toStdString();
    // The read-back is over once the refresh speed was asked for and shown.
    EXPECT_TRUE(monitor.waitForFrame(commandFrame(10, 4), 30s).has_value()) << ostrel.logText().toStdString();
    EXPECT_TRUE(ostrel.waitForLogStartingWith("updateViewSpeedDisplay", 10s).has_value());
  }

  // When the refreshes from frame `from` on arrived.
  std::vector<Clock::time_point> refreshesSince(std::size_t from) const {
    std::vector<Clock::time_point> out;
    const std::vector<ReceivedFrame> all = monitor.frames();
    for (std::size_t i = from; i < all.size(); ++i) {
      if (all[i].text == refreshFrame()) out.push_back(all[i].at);
    }
    return out;
  }
  int refreshesBetween(Clock::time_point from, Clock::time_point to) const {
    int n = 0;
    for (const Clock::time_point at : refreshesSince(0)) n += at >= from && at <= to ? 1 : 0;
    return n;
  }

  mutable SimulatedMonitor monitor;
  OstrelProcess ostrel;

 private:
  static inline int next_ = 0;
};

// Auto Clear every 2 s; idle counts after `idleSeconds` without input.
QMap<QString, qint64> autoClearEveryTwoSeconds(qint64 idleSeconds) {
  return {{QStringLiteral("autoClearCheckValue"), 1},
          {QStringLiteral("autoClearValue"), 2},
          {QStringLiteral("idlePauseSeconds"), idleSeconds}};
}

TEST(AutoClearRest, TheTimerRestsWhileTheXSessionIsIdleAndTheNextKeyWakesIt) {
  Session session(autoClearEveryTwoSeconds(3));
  EXPECT_EQ(session.ostrel.countLog("Idle time for Auto Clear Ghost: MIT-SCREEN-SAVER on the X display " +
                                    qEnvironmentVariable("DISPLAY").toUtf8() + " (asked at each Auto Clear tick)"),
            1)
      << session.ostrel.logText().toStdString();

  // Someone types: the refreshes keep their rhythm.
  const auto typing = Clock::now();
  while (Clock::now() - typing < 6s) {
    ASSERT_TRUE(touchKeyboard());
    pause(400ms);
  }
  const auto lastKey = Clock::now();
  EXPECT_GE(session.refreshesBetween(typing, lastKey), 3);
  // The X server may have been idle long enough before the typing began (a
  // slow start) for one rest already: only the rest after the last key counts.
  const int restsBeforeIdle = session.ostrel.countLog("Auto Clear Ghost rests: no keyboard or pointer input for 3 s");

  // Nobody: idle after 3 s, and the ticks after that rest.
  pause(7500ms);
  const auto waited = Clock::now();
  EXPECT_EQ(session.refreshesBetween(lastKey + 4500ms, waited), 0) << session.ostrel.logText().toStdString();
  const QJsonObject resting = autoClearStatus();
  EXPECT_EQ(resting.value(QStringLiteral("period")), 2);
  EXPECT_EQ(resting.value(QStringLiteral("resting")), true);
  EXPECT_EQ(resting.value(QStringLiteral("reason")), QStringLiteral("no keyboard or pointer input for 3 s"));
  EXPECT_EQ(resting.value(QStringLiteral("idle")).toObject().value(QStringLiteral("backend")), QStringLiteral("x11"));
  EXPECT_EQ(session.ostrel.countLog("Auto Clear Ghost rests: no keyboard or pointer input for 3 s") - restsBeforeIdle, 1)
      << session.ostrel.logText().toStdString();

  // A key: the next tick refreshes again, on the timer's own rhythm.
  const std::size_t from = session.monitor.frameCount();
  const auto key = Clock::now();
  ASSERT_TRUE(touchKeyboard());
  ASSERT_TRUE(session.monitor.waitForFrame(refreshFrame(), 3s, from).has_value())
      << session.ostrel.logText().toStdString();
  EXPECT_LE(ms(session.refreshesSince(from).front() - key), 2600);

  // Switched off, the timer never rests.
  const CtlRun off = ostrelctl({QStringLiteral("pause-while-idle"), QStringLiteral("off")});
  EXPECT_EQ(off.status, 0) << off.err.toStdString();
  const auto switchedOff = Clock::now();
  pause(9s);
  EXPECT_GE(session.refreshesBetween(switchedOff + 4500ms, Clock::now()), 2) << session.ostrel.logText().toStdString();
  const QJsonObject running = autoClearStatus();
  EXPECT_EQ(running.value(QStringLiteral("pauseWhileIdle")), false);
  EXPECT_EQ(running.value(QStringLiteral("resting")), false);
  QFile file(preferenceFilePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains("pauseWhileIdle=0")) << "stored for the next start";
}

// What a screen locker does when it locks or unlocks the session.
bool setLockedHint(const QString& bus, bool locked) {
  ChildProcess send;
  QString error;
  if (!send.start(
          QStringLiteral("/usr/bin/dbus-send"),
          {QStringLiteral("--bus=") + bus, QStringLiteral("--print-reply"),
           QStringLiteral("--dest=org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1/session/_31"),
           QStringLiteral("org.freedesktop.login1.Session.SetLockedHint"),
           locked ? QStringLiteral("boolean:true") : QStringLiteral("boolean:false")},
          &error)) {
    return false;
  }
  const std::optional<ChildExit> exit = send.waitForExit(10s);
  return exit && exit->exited && exit->status == 0;
}

TEST(AutoClearRest, TheTimerRestsWhileLogindSaysTheSessionIsLocked) {
  PrivateBus bus;
  QString error;
  ASSERT_TRUE(bus.start(QStringLiteral("system-bus"), &error)) << error.toStdString();
  ChildProcess logind;
  logind.setEnvironment(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address());
  ASSERT_TRUE(logind.start(QStringLiteral("/usr/bin/python3"),
                           {qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/tests/app/standin_logind.py")},
                           &error))
      << error.toStdString();
  ASSERT_TRUE(logind.waitForLine(
      ChildStream::Output, [](const QByteArray& l) { return l == "ready"; }, 20s))
      << "the stand-in logind did not start: " << [&logind] {
           std::string text;
           for (const StampedLine& line : logind.lines(ChildStream::Error)) text += line.text.toStdString() + "\n";
           return text;
         }();

  // Nobody types during this test: only the lock may make the timer rest.
  Session session(autoClearEveryTwoSeconds(9999), {{QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address()}});
  EXPECT_EQ(
      session.ostrel.countLog(
          "Session lock for Auto Clear Ghost: LockedHint of logind's session /org/freedesktop/login1/session/_31"),
      1)
      << session.ostrel.logText().toStdString();
  const auto started = Clock::now();
  pause(4500ms);
  EXPECT_GE(session.refreshesBetween(started, Clock::now()), 2);

  ASSERT_TRUE(setLockedHint(bus.address(), true));
  const auto locked = Clock::now();
  pause(6s);
  // A tick handed over just before the lock may still go out.
  EXPECT_EQ(session.refreshesBetween(locked + 500ms, Clock::now()), 0) << session.ostrel.logText().toStdString();
  const QJsonObject resting = autoClearStatus();
  EXPECT_EQ(resting.value(QStringLiteral("resting")), true);
  EXPECT_EQ(resting.value(QStringLiteral("reason")), QStringLiteral("the session is locked"));
  EXPECT_EQ(resting.value(QStringLiteral("lock")).toObject().value(QStringLiteral("backend")),
            QStringLiteral("logind"));

  const std::size_t from = session.monitor.frameCount();
  ASSERT_TRUE(setLockedHint(bus.address(), false));
  const auto unlocked = Clock::now();
  EXPECT_EQ(autoClearStatus().value(QStringLiteral("resting")), false) << "unlocking is told at once";
  ASSERT_TRUE(session.monitor.waitForFrame(refreshFrame(), 3s, from).has_value())
      << session.ostrel.logText().toStdString();
  EXPECT_LE(ms(session.refreshesSince(from).front() - unlocked), 2600);
}

TEST(AutoClearRest, ARefreshFollowsEveryThirdPageTurnOfTheMonitorOrTheKeyboard) {
  Session session({{QStringLiteral("pageRefreshValue"), 3},
                   {QStringLiteral("refresh_hot_keycode"), 2},
                   {QStringLiteral("refresh_hot_keycode_flags"), kControl}});
  // The monitor's keys are typed into the desktop and come back through the
  // keyboard watch; they count once.
  const auto pageDown = [&session] {
    const auto at = Clock::now();
    EXPECT_TRUE(session.monitor.command("key pagedown"));
    pause(250ms);
    return at;
  };
  const auto quietRefreshes = [&session](std::size_t from) {
    pause(1200ms);
    return session.refreshesSince(from);
  };
  {
    SCOPED_TRACE("three monitor Page Downs");
    const std::size_t from = session.monitor.frameCount();
    pageDown();
    pageDown();
    EXPECT_TRUE(quietRefreshes(from).empty());
    const auto third = pageDown();
    const auto refreshes = quietRefreshes(from);
    ASSERT_EQ(refreshes.size(), 1u) << session.ostrel.logText().toStdString();
    EXPECT_GE(ms(refreshes.front() - third), 300) << "the page is drawn before the flash";
  }
  {
    SCOPED_TRACE("a shortcut refresh in between starts the count again");
    const std::size_t from = session.monitor.frameCount();
    pageDown();
    pageDown();
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+d")}));
    EXPECT_EQ(quietRefreshes(from).size(), 1u) << "the shortcut's own";
    pageDown();
    pageDown();
    EXPECT_EQ(quietRefreshes(from).size(), 1u);
    const auto third = pageDown();
    const auto refreshes = quietRefreshes(from);
    ASSERT_EQ(refreshes.size(), 2u) << session.ostrel.logText().toStdString();
    EXPECT_GE(ms(refreshes.back() - third), 300);
  }
  {
    SCOPED_TRACE("the keyboard's page keys, with the monitor's");
    const std::size_t from = session.monitor.frameCount();
    pageDown();
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Prior")}));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Down"), QStringLiteral("a")})) << "not page turns";
    EXPECT_TRUE(quietRefreshes(from).empty());
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Next")}));
    EXPECT_EQ(quietRefreshes(from).size(), 1u) << session.ostrel.logText().toStdString();
  }
  {
    SCOPED_TRACE("every second page turn, set through ostrelctl; 0 turns it off");
    const CtlRun two = ostrelctl({QStringLiteral("page-refresh"), QStringLiteral("2")});
    ASSERT_EQ(two.status, 0) << two.err.toStdString();
    const std::size_t from = session.monitor.frameCount();
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Next"), QStringLiteral("Next")}));
    EXPECT_EQ(quietRefreshes(from).size(), 1u) << session.ostrel.logText().toStdString();
    EXPECT_EQ(autoClearStatus().value(QStringLiteral("pageRefresh")), 2);
    const CtlRun refused = ostrelctl({QStringLiteral("page-refresh"), QStringLiteral("100")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.startsWith(QStringLiteral("ostrelctl: page refresh must be 0..99, not 100\n")))
        << refused.err.toStdString();
    ASSERT_EQ(ostrelctl({QStringLiteral("page-refresh"), QStringLiteral("0")}).status, 0);
    const std::size_t later = session.monitor.frameCount();
    for (int i = 0; i < 4; ++i) pageDown();
    EXPECT_TRUE(quietRefreshes(later).empty());
  }
}

}  // namespace
}  // namespace ostrel::test
