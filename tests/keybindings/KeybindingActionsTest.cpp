// The commands a desktop keybinding runs: quoted so that a shell (GNOME's,
// sway's, i3's, Hyprland's) reads back exactly the path, recognised in
// entries written by hand, and the recorded keys as OK would leave them.
#include "keybindings/CompositorKeybindings.h"
#include "keybindings/KeybindingActions.h"
#include "platform/KeyCodes.h"
#include "platform/XkbKeyNames.h"
#include "settings/ProgramValues.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {
namespace {

using namespace keys;
using namespace std::chrono_literals;

TEST(KeybindingActions, APathReadsBackAsItWasThroughAPosixShell) {
  const QString paths[] = {
      QStringLiteral("/usr/bin/ostrelctl"),  QStringLiteral("/home/li lei/ostrel/build/bin/ostrelctl"),
      QStringLiteral("/opt/it's/ostrelctl"), QStringLiteral("/opt/$HOME/`x`/\"q\"/ostrelctl"),
      QStringLiteral("/opt/100%/ostrelctl"), QStringLiteral("/opt/显示器/ostrelctl"),
  };
  for (const QString& path : paths) {
    SCOPED_TRACE(path.toStdString());
    const QString command = ostrelctlCommand(path, KeybindingAction::ContrastDown);
    EXPECT_EQ(shellWords(command), (QStringList{path, QStringLiteral("contrast"), QStringLiteral("down")}));
    // The shell itself agrees.
    test::ChildProcess sh;
    QString error;
    ASSERT_TRUE(sh.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf '%s\\n' ") + command},
                         &error))
        << error.toStdString();
    ASSERT_TRUE(sh.waitForExit(10s));
    sh.waitForEndOfStreams(5s);
    const std::vector<test::StampedLine> words = sh.lines(test::ChildStream::Output);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(QString::fromUtf8(words[0].text), path);
  }
  EXPECT_EQ(ostrelctlCommand(QStringLiteral("/usr/bin/ostrelctl"), KeybindingAction::Refresh),
            QStringLiteral("/usr/bin/ostrelctl refresh"));
  EXPECT_FALSE(shellWords(QStringLiteral("'/opt/a b/ostrelctl refresh")));
  EXPECT_FALSE(shellWords(QStringLiteral("\"/opt/a b/ostrelctl refresh")));
}

TEST(KeybindingActions, RecognisesOstrelctlByAnyPathWithExactlyOneOfTheThreeCommands) {
  const std::pair<const char*, std::optional<KeybindingAction>> cases[] = {
      {"ostrelctl refresh", KeybindingAction::Refresh},
      {"/usr/local/bin/ostrelctl  refresh ", KeybindingAction::Refresh},
      {"'/home/li lei/bin/ostrelctl' contrast up", KeybindingAction::ContrastUp},
      {"ostrelctl -v contrast DOWN", KeybindingAction::ContrastDown},
      {"ostrelctl contrast", std::nullopt},
      {"ostrelctl contrast 5", std::nullopt},
      {"ostrelctl refresh now", std::nullopt},
      {"/usr/bin/ostrelctl-old refresh", std::nullopt},
      {"myostrelctl refresh", std::nullopt},
      {"sh -c 'ostrelctl refresh'", std::nullopt},
      {"'ostrelctl refresh", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [line, action] : cases) {
    SCOPED_TRACE(line);
    const std::optional<OstrelctlCall> call = ostrelctlCallIn(QString::fromUtf8(line));
    ASSERT_EQ(call.has_value(), action.has_value());
    if (call) {
      EXPECT_EQ(call->action, *action);
    }
  }
  EXPECT_EQ(ostrelctlCallIn(QStringLiteral("'/home/li lei/bin/ostrelctl' contrast up"))->program,
            QStringLiteral("/home/li lei/bin/ostrelctl"));
}

TEST(KeybindingActions, RecordedShortcutsAreTheValuesOkWouldLeave) {
  RefreshHotkeyKeyCode = 15;  // R
  RefreshHotkeyModifierFlags = kControl | kOption | kCapsLock;
  ThresholdInfoHotkeyKeyCode = 0;  // the A key counts as none
  ThresholdInfoHotkeyModifierFlags = kControl;
  ThresholdDownInfoHotkeyKeyCode = kDownArrow;
  ThresholdDownInfoHotkeyModifierFlags = kCapsLock;  // no modifier left
  const RecordedShortcuts recorded = recordedShortcuts();
  EXPECT_EQ(recorded[0], (RecordedShortcut{KeybindingAction::Refresh, 15, kControl | kOption}));
  EXPECT_EQ(recorded[1], (RecordedShortcut{KeybindingAction::ContrastUp, kU, kControl}));
  EXPECT_EQ(recorded[2], (RecordedShortcut{KeybindingAction::ContrastDown, kP, kControl}));
}

RecordedShortcuts shortcuts(std::uint16_t refresh, std::uint16_t up, std::uint16_t down, std::uint32_t flags) {
  return {RecordedShortcut{KeybindingAction::Refresh, refresh, flags},
          RecordedShortcut{KeybindingAction::ContrastUp, up, flags},
          RecordedShortcut{KeybindingAction::ContrastDown, down, flags}};
}

TEST(CompositorKeybindings, ThreeLinesReadyToPasteForEachCompositor) {
  const RecordedShortcuts recorded = {RecordedShortcut{KeybindingAction::Refresh, 15, kControl | kOption},
                                      RecordedShortcut{KeybindingAction::ContrastUp, kUpArrow, kCommand | kShift},
                                      RecordedShortcut{KeybindingAction::ContrastDown, kDownArrow, kCommand | kShift}};
  const QString ostrelctl = QStringLiteral("/usr/bin/ostrelctl");
  EXPECT_EQ(compositorKeybindings(Compositor::Sway, recorded, ostrelctl),
            QStringLiteral("bindsym Ctrl+Alt+r exec /usr/bin/ostrelctl refresh\n"
                           "bindsym Shift+Mod4+Up exec /usr/bin/ostrelctl contrast up\n"
                           "bindsym Shift+Mod4+Down exec /usr/bin/ostrelctl contrast down\n"));
  EXPECT_EQ(compositorKeybindings(Compositor::I3, recorded, ostrelctl),
            QStringLiteral("bindsym Control+Mod1+r exec --no-startup-id /usr/bin/ostrelctl refresh\n"
                           "bindsym Shift+Mod4+Up exec --no-startup-id /usr/bin/ostrelctl contrast up\n"
                           "bindsym Shift+Mod4+Down exec --no-startup-id /usr/bin/ostrelctl contrast down\n"));
  EXPECT_EQ(compositorKeybindings(Compositor::Hyprland, recorded, ostrelctl),
            QStringLiteral("bind = CTRL ALT, R, exec, /usr/bin/ostrelctl refresh\n"
                           "bind = SHIFT SUPER, Up, exec, /usr/bin/ostrelctl contrast up\n"
                           "bind = SHIFT SUPER, Down, exec, /usr/bin/ostrelctl contrast down\n"));
  // A key without a name is left out and said.
  const RecordedShortcuts unnamed = shortcuts(kD, 102, kP, kControl);
  EXPECT_EQ(compositorKeybindings(Compositor::Sway, unnamed, ostrelctl).count(QLatin1Char('\n')), 2);
  EXPECT_EQ(missingKeyNames(Compositor::Sway, unnamed), std::vector<KeybindingAction>{KeybindingAction::ContrastUp});
  EXPECT_TRUE(missingKeyNames(Compositor::Sway, recorded).empty());
}

// sway's own parser (`sway --validate`) takes every line Ostrel can write:
// each key the table names, with every modifier, and a path that needs quotes.
TEST(CompositorKeybindings, SwaysOwnParserTakesEveryLine) {
  const QString sway = QStandardPaths::findExecutable(QStringLiteral("sway"));
  if (sway.isEmpty()) {
    if (qEnvironmentVariable("OSTREL_REQUIRE_ALL_TESTS") == QLatin1String("1")) FAIL() << "sway is not installed";
    GTEST_SKIP() << "sway is not installed";
  }
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QString config;
  for (const platform::KeyName& k : platform::kKeyNames) {
    for (std::uint32_t flags : {kControl, kOption | kShift, kCommand | kControl | kOption | kShift}) {
      config += compositorKeybindings(Compositor::Sway,
                                      shortcuts(k.virtualKeyCode, k.virtualKeyCode, k.virtualKeyCode, flags),
                                      QStringLiteral("/opt/li lei's/ostrelctl"));
    }
  }
  EXPECT_EQ(config.count(QLatin1Char('\n')), qsizetype(9 * platform::kKeyNames.size()));
  QFile file(dir.filePath(QStringLiteral("config")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(config.toUtf8());
  file.close();
  // sway refuses to run as root; the check runs as nobody, who must read it.
  const QString runtime = dir.filePath(QStringLiteral("runtime"));
  ASSERT_TRUE(QDir().mkdir(runtime));
  QStringList command{sway, QStringLiteral("--validate"), QStringLiteral("--config"), file.fileName()};
  QString program = command.takeFirst();
  if (::geteuid() == 0) {
    ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
    ASSERT_EQ(::chmod(file.fileName().toLocal8Bit().constData(), 0644), 0);
    ASSERT_EQ(::chown(runtime.toLocal8Bit().constData(), 65534, 65534), 0);
    command = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                          QStringLiteral("--clear-groups"), program} +
              command;
    program = QStringLiteral("setpriv");
  }
  ::chmod(runtime.toLocal8Bit().constData(), 0700);
  test::ChildProcess check;
  check.setEnvironment(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
  check.setEnvironment(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
  check.setEnvironment(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
  check.setEnvironment(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
  QString error;
  ASSERT_TRUE(check.start(QStandardPaths::findExecutable(program), command, &error)) << error.toStdString();
  const std::optional<test::ChildExit> exit = check.waitForExit(60s);
  ASSERT_TRUE(exit);
  check.waitForEndOfStreams(5s);
  QStringList complaints;
  for (const test::StampedLine& l : check.lines(test::ChildStream::Error)) {
    if (l.text.contains("Error on line")) complaints << QString::fromUtf8(l.text);
  }
  EXPECT_TRUE(exit->exited && exit->status == 0) << complaints.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(complaints.isEmpty()) << complaints.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace ostrel
