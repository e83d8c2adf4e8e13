// The ostrel program as a user runs it: on the test's own X server, with its
// preferences written beforehand, a simulated monitor on a pseudo-terminal, keys
// typed with xdotool, frames read at the monitor and the log read from Ostrel's
// standard error.
#include "WindowCloser.h"
#include "XTestClient.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>
#include <QFile>
#include <algorithm>
#include <thread>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;
using ostrel::testing::XTestClient;

constexpr qint64 kControl = 0x40000;
constexpr qint64 kShift = 0x20000;

QByteArray refreshFrame() {
  return commandFrame(3, 1);
}

// Control+D refresh, Control+U contrast up, Control+P contrast down.
QMap<QString, qint64> standardShortcuts() {
  return {{QStringLiteral("refresh_hot_keycode"), 2},
          {QStringLiteral("refresh_hot_keycode_flags"), kControl},
          {QStringLiteral("threshold_hot_keycode"), 32},
          {QStringLiteral("threshold_hot_keycode_flags"), kControl},
          {QStringLiteral("threshold_down_hot_keycode"), 35},
          {QStringLiteral("threshold_down_hot_keycode_flags"), kControl}};
}

void pause(std::chrono::milliseconds ms) {
  std::this_thread::sleep_for(ms);
}

bool typeKeys(const QString& keys) {
  return xdotool({QStringLiteral("key"), keys});
}

// Ostrel and one or more monitors, started in that test's session.
class Session {
 public:
  Session(const QMap<QString, qint64>& preferences, QList<int> monitors) {
    EXPECT_TRUE(writePreferences(preferences));
    for (int version : monitors) {
      static int next = 0;
      auto m = std::make_unique<SimulatedMonitor>(version, QStringLiteral("app-sim%1").arg(next++));
      QString error;
      EXPECT_TRUE(m->start(&error)) << error.toStdString();
      this->monitors.push_back(std::move(m));
    }
    QString error;
    EXPECT_TRUE(ostrel.start(&error)) << error.toStdString();
    EXPECT_TRUE(ostrel.waitUntilReady()) << ostrel.logText().toStdString();
    window = ostrel.waitForWindow().value_or(QString());
    // The read-back of the first monitor is over when its speed was asked for
    // and answered.
    if (!this->monitors.empty()) {
      // Commands go to whichever monitor answered first.
      const auto deadline = MonotonicClock::now() + 30s;
      const auto readBack = [&] {
        for (const auto& m : this->monitors)
          if (m->waitForFrame(commandFrame(10, 4), 0s)) return true;
        return false;
      };
      while (!readBack() && MonotonicClock::now() < deadline) pause(20ms);
      EXPECT_TRUE(readBack());
      EXPECT_TRUE(ostrel.waitForLogStartingWith("updateViewSpeedDisplay", 10s).has_value());
      pause(400ms);
    }
  }

  SimulatedMonitor& monitor(std::size_t i = 0) { return *monitors.at(i); }

  // Presses `keys` and returns the frames and shortcut log lines it caused,
  // after `quiet` without anything new.
  struct Effect {
    QList<QByteArray> frames;
    QList<QByteArray> shortcutLines;
  };
  Effect press(const QString& keys, std::chrono::milliseconds quiet = 800ms) {
    const std::vector<std::size_t> frames = frameCounts();
    const std::size_t lines = ostrel.logLineCount();
    EXPECT_TRUE(typeKeys(keys)) << keys.toStdString();
    return collect(frames, lines, quiet);
  }
  std::vector<std::size_t> frameCounts() const {
    std::vector<std::size_t> out;
    for (const auto& m : monitors) out.push_back(m->frameCount());
    return out;
  }
  // What every monitor received since `framesFrom`, in the order it arrived.
  Effect collect(const std::vector<std::size_t>& framesFrom, std::size_t linesFrom, std::chrono::milliseconds quiet) {
    const auto total = [&] {
      std::size_t n = ostrel.logLineCount();
      for (std::size_t c : frameCounts()) n += c;
      return n;
    };
    std::size_t seen = 0;
    do {
      seen = total();
      pause(quiet);
    } while (total() != seen);
    Effect e;
    std::vector<ReceivedFrame> received;
    for (std::size_t m = 0; m < monitors.size(); ++m) {
      const auto all = monitors[m]->frames();
      received.insert(received.end(), all.begin() + static_cast<std::ptrdiff_t>(framesFrom[m]), all.end());
    }
    std::stable_sort(received.begin(), received.end(),
                     [](const ReceivedFrame& a, const ReceivedFrame& b) { return a.at < b.at; });
    for (const ReceivedFrame& f : received) e.frames << f.text;
    const auto log = ostrel.logLines();
    for (std::size_t i = linesFrom; i < log.size(); ++i) {
      if (log[i].text.startsWith("Press ")) e.shortcutLines << log[i].text;
    }
    return e;
  }

  bool focusOstrel() {
    return !window.isEmpty() && xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
  }

  std::vector<std::unique_ptr<SimulatedMonitor>> monitors;
  OstrelProcess ostrel;
  QString window;
};

std::string show(const QList<QByteArray>& list) {
  return list.join(" | ").toStdString();
}

TEST(AppShell, ShortcutsPressedInAnotherApplication) {
  Session session(standardShortcuts(), {16});
  XTestClient other;  // another application, with the keyboard focus
  other.focus();

  const auto refresh = session.press(QStringLiteral("ctrl+d"));
  EXPECT_EQ(refresh.frames, QList<QByteArray>{refreshFrame()});
  EXPECT_EQ(refresh.shortcutLines, QList<QByteArray>{"Press global RefreshHotkey."});

  // The simulator starts at contrast 5: up sends 6, then asks; down sends 5 again.
  const auto up = session.press(QStringLiteral("ctrl+u"));
  EXPECT_EQ(up.frames, (QList<QByteArray>{commandFrame(1, 6), commandFrame(10, 1)})) << show(up.frames);
  EXPECT_EQ(up.shortcutLines, QList<QByteArray>{"Press global ThresholdInfoHotkey."});
  const auto down = session.press(QStringLiteral("ctrl+p"));
  EXPECT_EQ(down.frames, (QList<QByteArray>{commandFrame(1, 5), commandFrame(10, 1)})) << show(down.frames);
  EXPECT_EQ(down.shortcutLines, QList<QByteArray>{"Press global ThresholdDownInfoHotkey."});

  struct Case {
    const char* name;
    const char* keys;
  };
  const Case nothing[] = {
      {"Control+Shift+D", "ctrl+shift+d"},
      {"D alone", "d"},
      {"Shift+D", "shift+d"},
      {"Alt+D", "alt+d"},
  };
  for (const Case& c : nothing) {
    SCOPED_TRACE(c.name);
    const auto e = session.press(QString::fromLatin1(c.keys));
    EXPECT_TRUE(e.frames.isEmpty()) << show(e.frames);
    EXPECT_TRUE(e.shortcutLines.isEmpty()) << show(e.shortcutLines);
  }
  {
    SCOPED_TRACE("Control+D with Caps Lock on");
    ASSERT_TRUE(typeKeys(QStringLiteral("Caps_Lock")));
    ASSERT_EQ(other.lockedModifiers() & 0x02, 0x02);
    const auto e = session.press(QStringLiteral("ctrl+d"));
    ASSERT_TRUE(typeKeys(QStringLiteral("Caps_Lock")));
    EXPECT_TRUE(e.frames.isEmpty()) << show(e.frames);
    EXPECT_TRUE(e.shortcutLines.isEmpty()) << show(e.shortcutLines);
  }
  {
    SCOPED_TRACE("pointer motion and scrolling with Control held");
    const std::vector<std::size_t> frames = session.frameCounts();
    const std::size_t lines = session.ostrel.logLineCount();
    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl")}));
    for (int i = 0; i < 5; ++i) {
      ASSERT_TRUE(xdotool(
          {QStringLiteral("mousemove_relative"), QStringLiteral("--"), QStringLiteral("7"), QStringLiteral("5")}));
    }
    ASSERT_TRUE(xdotool({QStringLiteral("click"), QStringLiteral("4")}));
    ASSERT_TRUE(xdotool({QStringLiteral("click"), QStringLiteral("5")}));
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl")}));
    const auto e = session.collect(frames, lines, 800ms);
    EXPECT_TRUE(e.frames.isEmpty()) << show(e.frames);
    EXPECT_TRUE(e.shortcutLines.isEmpty()) << show(e.shortcutLines);
  }
}

TEST(AppShell, ShortcutWhileOstrelHasFocusRunsOnceThroughTheLocalMonitorAndClosingTheWindowEndsOstrel) {
  Session session(standardShortcuts(), {16});
  ASSERT_TRUE(session.focusOstrel());
  const auto refresh = session.press(QStringLiteral("ctrl+d"));
  EXPECT_EQ(refresh.frames, QList<QByteArray>{refreshFrame()});
  EXPECT_EQ(refresh.shortcutLines, QList<QByteArray>{"Press localEvent RefreshHotkey."});

  ASSERT_TRUE(requestWindowClose(session.window));
  const std::optional<ChildExit> exit = session.ostrel.waitForExit(20s);
  ASSERT_TRUE(exit.has_value()) << "Ostrel is still running after its window closed";
  EXPECT_TRUE(exit->exited) << "signal " << exit->signal;
  EXPECT_EQ(exit->status, 0);
  EXPECT_EQ(session.ostrel.countLog("applicationWillTerminate"), 1);
}

TEST(AppShell, OneCombinationStoredTwiceRunsBothActionsInOrderAndTheKeyStillReachesTheFocusedList) {
  // Shift+Down for refresh and for contrast up. With Ostrel in front, the key
  // also moves the focused monitor list to its second monitor.
  QMap<QString, qint64> preferences{{QStringLiteral("refresh_hot_keycode"), 125},
                                    {QStringLiteral("refresh_hot_keycode_flags"), kShift},
                                    {QStringLiteral("threshold_hot_keycode"), 125},
                                    {QStringLiteral("threshold_hot_keycode_flags"), kShift}};
  Session session(preferences, {16, 16});
  // Both monitors answer; each acceptance reads the first one back.
  ASSERT_TRUE(session.monitor(1).waitForFrame(commandFrame(10, 16), 20s).has_value());
  pause(2500ms);

  XTestClient other;
  other.focus();
  {
    SCOPED_TRACE("another application in front");
    const auto e = session.press(QStringLiteral("shift+Down"));
    EXPECT_EQ(e.shortcutLines, (QList<QByteArray>{"Press global RefreshHotkey.", "Press global ThresholdInfoHotkey."}));
    EXPECT_EQ(e.frames, (QList<QByteArray>{refreshFrame(), commandFrame(1, 6), commandFrame(10, 1)})) << show(e.frames);
  }
  {
    SCOPED_TRACE("Ostrel in front");
    ASSERT_TRUE(session.focusOstrel());
    pause(300ms);
    const std::size_t lines = session.ostrel.logLineCount();
    const auto e = session.press(QStringLiteral("shift+Down"));
    EXPECT_EQ(e.shortcutLines,
              (QList<QByteArray>{"Press localEvent RefreshHotkey.", "Press localEvent ThresholdInfoHotkey."}));
    EXPECT_EQ(e.frames, (QList<QByteArray>{refreshFrame(), commandFrame(1, 7), commandFrame(10, 1)})) << show(e.frames);
    // The monitor list had the focus and took the key as well.
    EXPECT_TRUE(session.ostrel.waitForLog("displaySerialPortInfo", 2s, lines).has_value())
        << session.ostrel.logText().toStdString();
  }
}

TEST(AppShell, WithoutAnXServerOstrelStartsWorksFromItsWindowAndSaysWhatIsMissingOnce) {
  EXPECT_TRUE(writePreferences(standardShortcuts()));
  SimulatedMonitor monitor(48, QStringLiteral("app-nox"));
  QString error;
  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  OstrelProcess ostrel;
  ostrel.setEnvironment(QStringLiteral("DISPLAY"), std::nullopt);
  ostrel.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  // The whole read-back of a front-light monitor goes out.
  ASSERT_TRUE(monitor.waitForFrame(commandFrame(10, 8), 30s).has_value()) << ostrel.logText().toStdString();
  for (const char* line : {"key pagedown", "move left", "click right", "long up", "long stop"}) {
    ASSERT_TRUE(monitor.command(line));
  }
  ASSERT_TRUE(monitor.command("set contrast 8"));
  ASSERT_TRUE(ostrel.waitForLog("updateViewThresholdDisplay thresholdValue = 8", 10s).has_value())
      << ostrel.logText().toStdString();
  pause(500ms);
  EXPECT_TRUE(ostrel.process().isRunning());
  EXPECT_EQ(ostrel.countLogContaining("Global shortcuts are unavailable"), 1) << ostrel.logText().toStdString();
  EXPECT_EQ(ostrel.countLogContaining("The monitor's keys and pointer can't be passed on"), 1)
      << ostrel.logText().toStdString();
}

TEST(AppShell, AnUnusablePreferenceFileGivesTheDefaultsIsReportedOnceAndIsLeftAsItIs) {
  struct Case {
    const char* name;
    QByteArray content;
  };
  const Case cases[] = {
      {"not text", QByteArray("\xff\xfe\x00\x01[General]\nlanguage=1\n\x80\x81", 26)},
      {"cut short", QByteArray("[General]\nrefresh_hot_keycode=2\nrefresh_hot_keyc")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(writePreferences({}));
    {
      QFile file(preferenceFilePath());
      ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(c.content);
    }
    OstrelProcess ostrel;
    QString error;
    ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
    ASSERT_TRUE(ostrel.waitUntilReady()) << ostrel.logText().toStdString();
    EXPECT_TRUE(ostrel.waitForLog("viewDidLoad CurrentLanguage = 0", 1s).has_value());
    const auto window = ostrel.waitForWindow();
    ASSERT_TRUE(window.has_value());
    ASSERT_TRUE(requestWindowClose(*window));
    const auto exit = ostrel.waitForExit(20s);
    ASSERT_TRUE(exit.has_value());
    EXPECT_EQ(exit->status, 0);
    QFile file(preferenceFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), c.content);
    // Said once, on standard error, and nothing else about it.
    int reports = 0;
    for (const auto& line : ostrel.logLines()) reports += line.text.contains(preferenceFilePath().toUtf8()) ? 1 : 0;
    EXPECT_EQ(reports, 1) << ostrel.logText().toStdString();
  }
}

TEST(AppShell, AValueOutsideItsRangeIsReadAsAbsentAndQuittingWithTheTimerRunningEndsCleanly) {
  QMap<QString, qint64> preferences = standardShortcuts();
  preferences.insert(QStringLiteral("language"), 5);
  preferences.insert(QStringLiteral("autoClearCheckValue"), 1);
  preferences.insert(QStringLiteral("autoClearValue"), 1);
  Session session(preferences, {48});
  QFile file(preferenceFilePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray stored = file.readAll();
  file.close();
  EXPECT_EQ(session.ostrel.countLog("viewDidLoad CurrentLanguage = 0"), 1) << "absent: Chinese";
  EXPECT_EQ(session.ostrel.countLog("Preference language holds 5, outside 0..1: it is read as absent"), 1);
  ASSERT_TRUE(session.monitor().waitForFrame(refreshFrame(), 20s, session.monitor().frameCount()).has_value())
      << "the timer runs";
  // Quitting joins the port and timer threads before anything they use goes
  // away; a sanitizer build ends with a report and a failure status otherwise.
  ASSERT_TRUE(requestWindowClose(session.window));
  const std::optional<ChildExit> exit = session.ostrel.waitForExit(30s);
  ASSERT_TRUE(exit.has_value());
  EXPECT_TRUE(exit->exited) << "signal " << exit->signal;
  EXPECT_EQ(exit->status, 0) << session.ostrel.logText().toStdString();
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), stored) << "the file keeps the value until the settings window is confirmed";
}

}  // namespace
}  // namespace ostrel::test
