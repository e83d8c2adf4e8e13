// ostrelctl's command line and what it prints: every command word with good
// and bad values, the options, and the text and JSON of status and monitors.

#include "control/ControlProtocol.h"
#include "ostrelctl/CommandLine.h"
#include "ostrelctl/StatusReport.h"

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ostrel::ctl {
namespace {

QStringList split(const char* line) {
  return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

struct Accepted {
  const char* line;
  CtlCommand command;
  std::int32_t value;
  bool json;
  bool verbose;
};

TEST(CommandLine, AcceptsEveryCommandWithItsValues) {
  const Accepted cases[] = {
      {"refresh", CtlCommand::Refresh, 0, false, false},
      {"contrast 1", CtlCommand::Contrast, 1, false, false},
      {"contrast 9", CtlCommand::Contrast, 9, false, false},
      {"contrast +5", CtlCommand::Contrast, 5, false, false},
      {"contrast 007", CtlCommand::Contrast, 7, false, false},
      {"contrast up", CtlCommand::ContrastUp, 0, false, false},
      {"contrast DOWN", CtlCommand::ContrastDown, 0, false, false},
      {"mode text", CtlCommand::ImageMode, 2, false, false},
      {"mode graphic", CtlCommand::ImageMode, 3, false, false},
      {"mode Video", CtlCommand::ImageMode, 4, false, false},
      {"speed 1", CtlCommand::RefreshSpeed, 1, false, false},
      {"speed 5", CtlCommand::RefreshSpeed, 5, false, false},
      {"light off", CtlCommand::FrontLight, 0, false, false},
      {"light cold", CtlCommand::FrontLight, 1, false, false},
      {"light warm", CtlCommand::FrontLight, 2, false, false},
      {"light mixed", CtlCommand::FrontLight, 3, false, false},
      {"brightness 0", CtlCommand::Brightness, 0, false, false},
      {"brightness 100", CtlCommand::Brightness, 100, false, false},
      {"temperature 0", CtlCommand::Temperature, 0, false, false},
      {"temperature 100", CtlCommand::Temperature, 100, false, false},
      {"sync-time", CtlCommand::SyncTime, 0, false, false},
      {"read", CtlCommand::Read, 0, false, false},
      {"status", CtlCommand::Status, 0, false, false},
      {"monitors", CtlCommand::Monitors, 0, false, false},
      {"--json status", CtlCommand::Status, 0, true, false},
      {"status --json -v", CtlCommand::Status, 0, true, true},
      {"read --json", CtlCommand::Read, 0, true, false},
      {"monitors --json", CtlCommand::Monitors, 0, true, false},
      {"--verbose refresh", CtlCommand::Refresh, 0, false, true},
      {"--help", CtlCommand::Help, 0, false, false},
      {"contrast 12 -h", CtlCommand::Help, 0, false, false},
      {"help", CtlCommand::Help, 0, false, false},
      {"autostart on", CtlCommand::StartAtLoginOn, 0, false, false},
      {"autostart OFF", CtlCommand::StartAtLoginOff, 0, false, false},
      {"-v autostart status", CtlCommand::StartAtLoginStatus, 0, false, true},
      {"pause-while-idle on", CtlCommand::PauseWhileIdleOn, 0, false, false},
      {"pause-while-idle Off", CtlCommand::PauseWhileIdleOff, 0, false, false},
      {"page-refresh 0", CtlCommand::PageRefresh, 0, false, false},
      {"page-refresh 99", CtlCommand::PageRefresh, 99, false, false},
      {"-v page-refresh 03", CtlCommand::PageRefresh, 3, false, true},
      {"--version", CtlCommand::Version, 0, false, false},
      {"refresh --version", CtlCommand::Version, 0, false, false},
      {"--version --help", CtlCommand::Help, 0, false, false},
      {"gnome-shortcuts add", CtlCommand::GnomeShortcutsAdd, 0, false, false},
      {"gnome-shortcuts Remove", CtlCommand::GnomeShortcutsRemove, 0, false, false},
      {"-v gnome-shortcuts status", CtlCommand::GnomeShortcutsStatus, 0, false, true},
      {"keybindings sway", CtlCommand::Keybindings, 0, false, false},
      {"keybindings Hyprland", CtlCommand::Keybindings, 1, false, false},
      {"keybindings i3", CtlCommand::Keybindings, 2, false, false},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(c.line);
    const auto parsed = parseCommandLine(split(c.line));
    ASSERT_TRUE(std::holds_alternative<CtlRequest>(parsed)) << std::get<UsageError>(parsed).message.toStdString();
    const CtlRequest& r = std::get<CtlRequest>(parsed);
    EXPECT_EQ(r.command, c.command);
    EXPECT_EQ(r.value, c.value);
    EXPECT_EQ(r.json, c.json);
    EXPECT_EQ(r.verbose, c.verbose);
  }
}

struct Refused {
  const char* line;
  const char* message;  // the whole message: it must say what is accepted
};

TEST(CommandLine, RefusesWithTheAcceptedValues) {
  const Refused cases[] = {
      {"", "no command given"},
      {"--json", "no command given"},
      {"flash", "unknown command \"flash\""},
      {"Refresh", "unknown command \"Refresh\""},
      {"refresh --force", "unknown option \"--force\""},
      {"refresh now", "refresh takes no value, not \"now\""},
      {"status all", "status takes no value, not \"all\""},
      {"contrast", "contrast needs a value: 1..9, up or down"},
      {"contrast 0", "contrast must be 1..9, up or down, not 0"},
      {"contrast 10", "contrast must be 1..9, up or down, not 10"},
      {"contrast -1", "contrast must be 1..9, up or down, not -1"},
      {"contrast 5 6", "contrast takes one value, not \"6\""},
      {"contrast five", "contrast must be 1..9, up or down, not \"five\""},
      {"contrast 5.0", "contrast must be 1..9, up or down, not \"5.0\""},
      {"contrast 99999999999999999999", "contrast must be 1..9, up or down, not \"99999999999999999999\""},
      {"mode 3", "image mode must be text, graphic, video, not \"3\""},
      {"mode photo", "image mode must be text, graphic, video, not \"photo\""},
      {"speed 0", "refresh speed must be 1..5, not 0"},
      {"speed 6", "refresh speed must be 1..5, not 6"},
      {"light on", "front light mode must be off, cold, warm, mixed, not \"on\""},
      {"light 1", "front light mode must be off, cold, warm, mixed, not \"1\""},
      {"brightness 101", "brightness must be 0..100, not 101"},
      {"brightness -5", "brightness must be 0..100, not -5"},
      {"brightness", "brightness needs a value: 0..100"},
      {"temperature 4294967296", "temperature must be 0..100, not 4294967296"},
      {"refresh --json", "--json goes with status, read or monitors, not with refresh"},
      {"contrast up --json", "--json goes with status, read or monitors, not with contrast"},
      {"autostart", "autostart needs a value: on, off or status"},
      {"autostart on off", "autostart takes one value, not \"off\""},
      {"autostart status --json", "--json goes with status, read or monitors, not with autostart"},
      {"gnome-shortcuts", "gnome-shortcuts needs a value: add, remove or status"},
      {"gnome-shortcuts on", "gnome-shortcuts must be add, remove or status, not \"on\""},
      {"gnome-shortcuts add remove", "gnome-shortcuts takes one value, not \"remove\""},
      {"gnome-shortcuts status --json", "--json goes with status, read or monitors, not with gnome-shortcuts"},
      {"keybindings", "keybindings needs a value: sway, hyprland or i3"},
      {"keybindings kde", "keybindings must be sway, hyprland or i3, not \"kde\""},
      {"keybindings sway i3", "keybindings takes one value, not \"i3\""},
      {"pause-while-idle", "pause-while-idle needs a value: on or off"},
      {"pause-while-idle yes", "pause-while-idle must be on or off, not \"yes\""},
      {"pause-while-idle on off", "pause-while-idle takes one value, not \"off\""},
      {"page-refresh", "page-refresh needs a value: 0..99 (0: never)"},
      {"page-refresh 100", "page refresh must be 0..99, not 100"},
      {"page-refresh -1", "page refresh must be 0..99, not -1"},
      {"page-refresh three", "page-refresh must be 0..99 (0: never), not \"three\""},
      {"page-refresh 99999999999999999999", "page-refresh must be 0..99 (0: never), not \"99999999999999999999\""},
      {"page-refresh 3 4", "page-refresh takes one value, not \"4\""},
      {"page-refresh 3 --json", "--json goes with status, read or monitors, not with page-refresh"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.line);
    const auto parsed = parseCommandLine(split(c.line));
    ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
    EXPECT_EQ(std::get<UsageError>(parsed).message, QString::fromUtf8(c.message));
  }
}

TEST(CommandLine, UsageErrorPointsAtHelp) {
  EXPECT_EQ(usageErrorText({QStringLiteral("unknown command \"x\"")}),
            QStringLiteral("ostrelctl: unknown command \"x\"\nTry 'ostrelctl --help'.\n"));
  // Every command word the parser takes is in the help.
  for (const char* word : {"refresh", "contrast", "mode", "speed", "light", "brightness", "temperature", "sync-time",
                           "read", "status", "monitors", "autostart on|off|status", "gnome-shortcuts add|remove|status",
                           "keybindings sway|hyprland|i3", "pause-while-idle on|off", "page-refresh 0..99", "--json",
                           "--verbose", "--version"}) {
    EXPECT_TRUE(helpText().contains(QString::fromLatin1(word))) << word;
  }
}

struct Range {
  ControlSetting setting;
  std::int64_t value;
  const char* refusal;  // nullptr: accepted
};

TEST(ControlProtocol, RangesOfEverySetting) {
  const Range cases[] = {
      {ControlSetting::Contrast, 1, nullptr},
      {ControlSetting::Contrast, 9, nullptr},
      {ControlSetting::Contrast, 0, "contrast must be 1..9, not 0"},
      {ControlSetting::Contrast, 10, "contrast must be 1..9, not 10"},
      {ControlSetting::ImageMode, 2, nullptr},
      {ControlSetting::ImageMode, 4, nullptr},
      {ControlSetting::ImageMode, 1, "image mode must be 2..4, not 1"},
      {ControlSetting::ImageMode, 5, "image mode must be 2..4, not 5"},
      {ControlSetting::RefreshSpeed, 1, nullptr},
      {ControlSetting::RefreshSpeed, 6, "refresh speed must be 1..5, not 6"},
      {ControlSetting::FrontLightMode, 0, nullptr},
      {ControlSetting::FrontLightMode, 3, nullptr},
      {ControlSetting::FrontLightMode, -1, "front light mode must be 0..3, not -1"},
      {ControlSetting::FrontLightMode, 4, "front light mode must be 0..3, not 4"},
      {ControlSetting::Brightness, 100, nullptr},
      {ControlSetting::Brightness, 256, "brightness must be 0..100, not 256"},
      {ControlSetting::Temperature, 0, nullptr},
      {ControlSetting::Temperature, -2147483648LL, "temperature must be 0..100, not -2147483648"},
  };
  for (const Range& c : cases) {
    SCOPED_TRACE(c.value);
    const std::optional<QString> refusal = refuseOutOfRange(c.setting, c.value);
    if (c.refusal) {
      ASSERT_TRUE(refusal.has_value());
      EXPECT_EQ(*refusal, QString::fromLatin1(c.refusal));
    } else {
      EXPECT_FALSE(refusal.has_value()) << refusal->toStdString();
    }
  }
}

StatusValues fortyEight() {
  StatusValues v;
  v.source = QStringLiteral("direct");
  v.monitors = {QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1")};
  v.current = QStringLiteral("ttyUSB0");
  v.mcuVersion = 48;
  v.contrast = 7;
  v.imageMode = 4;
  v.refreshSpeed = 2;
  v.frontLightMode = 3;
  v.brightness = 80;
  v.temperature = 0;
  return v;
}

// What a Wayland desktop without RemoteDesktop portal, where the user
// re-assigned one shortcut and cleared another, reports on the bus.
QVariantMap waylandDesktop() {
  return {{"ShortcutsBackend", "portal"},
          {"ShortcutsDetail", "GlobalShortcuts portal (version 1): the desktop assigned the keys"},
          {"ShortcutsBinding", "bound"},
          {"ShortcutIds", QStringList{"refresh", "contrast-up", "contrast-down"}},
          {"ShortcutsPreferred", QStringList{"CTRL+D", "CTRL+ALT+U", "CTRL+P"}},
          {"ShortcutsAssigned", QStringList{"Ctrl+Alt+R", "Alt+Control+u", ""}},
          {"ShortcutsChangedByDesktop", 1},
          {"InputBackend", ""},
          {"InputDetail", "the desktop offers no RemoteDesktop portal"}};
}

TEST(StatusReport, JsonCarriesEveryValueAndNullsWhatIsUnknown) {
  StatusValues partial = fortyEight();
  partial.refreshSpeed.reset();
  partial.temperature.reset();
  StatusValues none;
  none.source = QStringLiteral("ostrel");

  struct Case {
    const char* name;
    StatusValues values;
    QJsonObject expected;
  };
  const Case cases[] = {
      {"all", fortyEight(),
       QJsonObject{{"source", "direct"},
                   {"monitors", QJsonArray{"ttyUSB0", "ttyUSB1"}},
                   {"current", "ttyUSB0"},
                   {"mcuVersion", 48},
                   {"contrast", 7},
                   {"imageMode", 4},
                   {"imageModeName", "video"},
                   {"refreshSpeed", 2},
                   {"refreshSpeedName", "Fast+"},
                   {"frontLightMode", 3},
                   {"frontLightModeName", "mixed"},
                   {"brightness", 80},
                   {"temperature", 0},
                   {"desktop", QJsonValue::Null},
                   {"autoClear", QJsonValue::Null}}},
      {"partial", partial,
       QJsonObject{{"source", "direct"},
                   {"monitors", QJsonArray{"ttyUSB0", "ttyUSB1"}},
                   {"current", "ttyUSB0"},
                   {"mcuVersion", 48},
                   {"contrast", 7},
                   {"imageMode", 4},
                   {"imageModeName", "video"},
                   {"refreshSpeed", QJsonValue::Null},
                   {"refreshSpeedName", QJsonValue::Null},
                   {"frontLightMode", 3},
                   {"frontLightModeName", "mixed"},
                   {"brightness", 80},
                   {"temperature", QJsonValue::Null},
                   {"desktop", QJsonValue::Null},
                   {"autoClear", QJsonValue::Null}}},
      {"none", none,
       QJsonObject{{"source", "ostrel"},
                   {"monitors", QJsonArray{}},
                   {"current", QJsonValue::Null},
                   {"mcuVersion", QJsonValue::Null},
                   {"contrast", QJsonValue::Null},
                   {"imageMode", QJsonValue::Null},
                   {"imageModeName", QJsonValue::Null},
                   {"refreshSpeed", QJsonValue::Null},
                   {"refreshSpeedName", QJsonValue::Null},
                   {"frontLightMode", QJsonValue::Null},
                   {"frontLightModeName", QJsonValue::Null},
                   {"brightness", QJsonValue::Null},
                   {"temperature", QJsonValue::Null},
                   {"desktop", QJsonValue::Null},
                   {"autoClear", QJsonValue::Null}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(statusJson(c.values), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(doc.object(), c.expected);
  }

  StatusValues wayland = none;
  wayland.desktop = waylandDesktop();
  const QJsonObject desktop = QJsonDocument::fromJson(statusJson(wayland)).object()["desktop"].toObject();
  EXPECT_EQ(desktop["input"], (QJsonObject{{"backend", QJsonValue::Null},
                                           {"detail", "the desktop offers no RemoteDesktop portal"},
                                           {"awaitingConfirmation", false},
                                           {"todo", QJsonValue::Null}}));
  EXPECT_EQ(desktop["ownKeybindings"], QJsonValue(QJsonValue::Null));
  const QJsonObject shortcuts = desktop["shortcuts"].toObject();
  EXPECT_EQ(shortcuts["awaitingConfirmation"], false);
  EXPECT_EQ(shortcuts["backend"], "portal");
  EXPECT_EQ(shortcuts["binding"], "bound");
  EXPECT_EQ(shortcuts["changedByDesktop"], 1);
  EXPECT_EQ(shortcuts["todo"], "change the keys in the desktop's keyboard settings, or accept the ones it assigned");
  QStringList keys;
  for (const QJsonValue& k : shortcuts["keys"].toArray()) {
    keys << QStringLiteral("%1 %2 %3 %4")
                .arg(k["id"].toString(), k["preferred"].toString(),
                     k["assigned"].isNull() ? QStringLiteral("null") : k["assigned"].toString(),
                     k["asRecorded"].toBool() ? QStringLiteral("as recorded") : QString());
  }
  EXPECT_EQ(keys, (QStringList{"refresh CTRL+D Ctrl+Alt+R ", "contrast-up CTRL+ALT+U Alt+Control+u as recorded",
                               "contrast-down CTRL+P null "}));

  // While the desktop's dialog is open.
  wayland.desktop.insert("ShortcutsAwaitingConfirmation", true);
  wayland.desktop.insert("InputAwaitingConfirmation", true);
  const QJsonObject asking = QJsonDocument::fromJson(statusJson(wayland)).object()["desktop"].toObject();
  EXPECT_EQ(asking["shortcuts"]["awaitingConfirmation"], true);
  EXPECT_EQ(asking["input"]["awaitingConfirmation"], true);
}

TEST(StatusReport, TextShowsNamesAndLeavesOutWhatIsUnknown) {
  EXPECT_EQ(statusText(fortyEight()), QStringLiteral("Monitor:        ttyUSB0 (MCU version 48)\n"
                                                     "All monitors:   ttyUSB0, ttyUSB1\n"
                                                     "Contrast:       7\n"
                                                     "Image mode:     4 (video)\n"
                                                     "Refresh speed:  2 (Fast+)\n"
                                                     "Front light:    3 (mixed)\n"
                                                     "Brightness:     80\n"
                                                     "Temperature:    0\n"));
  StatusValues older = fortyEight();
  older.monitors = {QStringLiteral("ttyUSB0")};
  older.mcuVersion = 16;
  older.frontLightMode.reset();
  older.brightness.reset();
  older.temperature.reset();
  older.imageMode = 9;  // a value without a name prints bare
  EXPECT_EQ(statusText(older), QStringLiteral("Monitor:        ttyUSB0 (MCU version 16)\n"
                                              "Contrast:       7\n"
                                              "Image mode:     9\n"
                                              "Refresh speed:  2 (Fast+)\n"));
  EXPECT_EQ(statusText(StatusValues{}), QStringLiteral("No monitor connected.\n"));
  StatusValues wayland;
  wayland.desktop = waylandDesktop();
  EXPECT_EQ(statusText(wayland),
            QStringLiteral("No monitor connected.\n"
                           "Shortcuts:      GlobalShortcuts portal (version 1): the desktop assigned the keys\n"
                           "  refresh:        Ctrl+Alt+R (recorded CTRL+D: change it in the desktop's keyboard "
                           "settings)\n"
                           "  contrast-up:    Alt+Control+u\n"
                           "  contrast-down:  no key (recorded CTRL+P: set one in the desktop's keyboard settings)\n"
                           "  re-assigned in the desktop's keyboard settings: once\n"
                           "  to do:        change the keys in the desktop's keyboard settings, or accept the ones it "
                           "assigned\n"
                           "Monitor input:  unavailable: the desktop offers no RemoteDesktop portal\n"));
  EXPECT_EQ(monitorsText(fortyEight()), QStringLiteral("ttyUSB0\nttyUSB1\n"));
}

// Per service what serves it and what the user must do, on the desktops
// without a GlobalShortcuts portal and elsewhere.
TEST(StatusReport, SaysWhatTheUserMustDoForEachService) {
  const QVariantMap gnomeWithout{{"ShortcutsBackend", ""},
                                 {"ShortcutsDetail",
                                  "GNOME 43.9 has no GlobalShortcuts portal of its own, and "
                                  "GNOME's custom shortcuts do not run ostrelctl for contrast up"},
                                 {"OwnKeybindings", "gnome"},
                                 {"InputBackend", "portal"},
                                 {"InputDetail", "RemoteDesktop portal (version 1)"}};
  QVariantMap gnomeRuns = gnomeWithout;
  gnomeRuns["ShortcutsBackend"] = "gnome";
  gnomeRuns["ShortcutsDetail"] = "GNOME's custom shortcuts run /usr/bin/ostrelctl";
  gnomeRuns["ShortcutsBinding"] = "bound";
  gnomeRuns["ShortcutIds"] = QStringList{"refresh", "contrast-up", "contrast-down"};
  gnomeRuns["ShortcutsPreferred"] = QStringList{"CTRL+D", "CTRL+U", "CTRL+P"};
  gnomeRuns["ShortcutsAssigned"] = QStringList{"Ctrl+D", "Ctrl+U", "Ctrl+P"};
  QVariantMap gnomeEdited = gnomeRuns;
  gnomeEdited["ShortcutsAssigned"] = QStringList{"Ctrl+D", "Super+U", "Ctrl+P"};
  const QVariantMap sway{{"ShortcutsBackend", ""},
                         {"ShortcutsDetail", "the desktop offers no GlobalShortcuts portal"},
                         {"OwnKeybindings", "sway"},
                         {"InputBackend", ""},
                         {"InputDetail", "the desktop offers no RemoteDesktop portal"}};
  const QVariantMap x11{{"ShortcutsBackend", "x11"}, {"InputBackend", "x11"}};
  const QVariantMap unknown{{"ShortcutsBackend", ""}, {"OwnKeybindings", ""}};
  const struct {
    const char* name;
    QVariantMap desktop;
    const char* shortcuts;
    const char* input;
  } cases[] = {
      {"GNOME 43 before Add", gnomeWithout,
       "run `ostrelctl gnome-shortcuts add`, or press Add in Ostrel's settings window, to put them among GNOME's "
       "custom shortcuts",
       "allow it when the desktop asks, as a monitor connects"},
      {"GNOME 43 after Add", gnomeRuns, "", "allow it when the desktop asks, as a monitor connects"},
      {"a key changed in GNOME Settings", gnomeEdited,
       "run `ostrelctl gnome-shortcuts add` (or Add in Ostrel's settings window) to give GNOME the recorded keys "
       "again",
       "allow it when the desktop asks, as a monitor connects"},
      {"sway", sway, "paste what `ostrelctl keybindings sway` prints into ~/.config/sway/config and reload it", ""},
      {"X11", x11, "", ""},
      {"another desktop without portal", unknown,
       "bind `ostrelctl refresh`, `ostrelctl contrast up` and `ostrelctl contrast down` in the desktop's own "
       "keyboard settings",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(shortcutsTodo(c.desktop), QString::fromUtf8(c.shortcuts));
    EXPECT_EQ(inputTodo(c.desktop), QString::fromUtf8(c.input));
  }
  StatusValues v;
  v.desktop = gnomeEdited;
  EXPECT_EQ(statusText(v),
            QStringLiteral("No monitor connected.\n"
                           "Shortcuts:      GNOME's custom shortcuts run /usr/bin/ostrelctl\n"
                           "  refresh:        Ctrl+D\n"
                           "  contrast-up:    Super+U (recorded CTRL+U: change it in the desktop's keyboard "
                           "settings)\n"
                           "  contrast-down:  Ctrl+P\n"
                           "  to do:        run `ostrelctl gnome-shortcuts add` (or Add in Ostrel's settings window) "
                           "to give GNOME the recorded keys again\n"
                           "Monitor input:  RemoteDesktop portal (version 1)\n"
                           "  to do:        allow it when the desktop asks, as a monitor connects\n"));
  const QJsonObject desktop = QJsonDocument::fromJson(statusJson(v)).object()["desktop"].toObject();
  EXPECT_EQ(desktop["shortcuts"]["backend"], "gnome");
  EXPECT_EQ(desktop["ownKeybindings"], "gnome");
  EXPECT_EQ(desktop["input"]["todo"], "allow it when the desktop asks, as a monitor connects");
}

// What Ostrel in an X11 session without logind reports while the session is
// idle, and what the settings file holds when Ostrel does not run.
QVariantMap restingAutoClear() {
  return {{"Period", 30},
          {"PauseWhileIdle", true},
          {"PageRefresh", 3},
          {"Resting", true},
          {"Reason", "no keyboard or pointer input for 60 s"},
          {"IdleBackend", "x11"},
          {"IdleDetail", "MIT-SCREEN-SAVER on the X display :0 (asked at each Auto Clear tick)"},
          {"LockBackend", ""},
          {"LockDetail", "logind: there is no system bus"}};
}

TEST(StatusReport, AutoClearTellsWhetherItRestsAndWhy) {
  StatusValues resting;
  resting.autoClear = restingAutoClear();
  EXPECT_EQ(statusText(resting),
            QStringLiteral("No monitor connected.\n"
                           "Auto Clear:     every 30 s, resting: no keyboard or pointer input for 60 s\n"
                           "  Pause while idle: on\n"
                           "  idle time:    MIT-SCREEN-SAVER on the X display :0 (asked at each Auto Clear tick)\n"
                           "  lock:         unavailable: logind: there is no system bus\n"
                           "Page refresh:   after every 3 page turns\n"));
  EXPECT_EQ(QJsonDocument::fromJson(statusJson(resting)).object()["autoClear"],
            (QJsonObject{
                {"period", 30},
                {"pauseWhileIdle", true},
                {"pageRefresh", 3},
                {"resting", true},
                {"reason", "no keyboard or pointer input for 60 s"},
                {"idle", QJsonObject{{"backend", "x11"},
                                     {"detail",
                                      "MIT-SCREEN-SAVER on the X display :0 (asked at each Auto Clear "
                                      "tick)"}}},
                {"lock", QJsonObject{{"backend", QJsonValue::Null}, {"detail", "logind: there is no system bus"}}}}));

  StatusValues blind;
  blind.autoClear = {{"Period", 5},
                     {"PauseWhileIdle", true},
                     {"PageRefresh", 0},
                     {"Resting", false},
                     {"Reason", "neither the idle time nor the lock of the session can be read"},
                     {"IdleBackend", ""},
                     {"IdleDetail", "no X display"},
                     {"LockBackend", ""},
                     {"LockDetail", "no system bus"}};
  EXPECT_TRUE(statusText(blind).contains(
      "Auto Clear:     every 5 s, refreshing (neither the idle time nor the lock of the session can be read)\n"
      "  Pause while idle: on\n  idle time:    unavailable: no X display\n"
      "  lock:         unavailable: no system bus\nPage refresh:   off\n"))
      << statusText(blind).toStdString();

  // Without Ostrel only the settings are known.
  StatusValues stored;
  stored.autoClear = {{"Period", 0}, {"PauseWhileIdle", false}, {"PageRefresh", 7}};
  EXPECT_EQ(statusText(stored), QStringLiteral("No monitor connected.\n"
                                               "Auto Clear:     off\n"
                                               "  Pause while idle: off\n"
                                               "Page refresh:   after every 7 page turns\n"));
  EXPECT_EQ(QJsonDocument::fromJson(statusJson(stored)).object()["autoClear"],
            (QJsonObject{{"period", QJsonValue::Null},
                         {"pauseWhileIdle", false},
                         {"pageRefresh", 7},
                         {"resting", QJsonValue::Null},
                         {"reason", QJsonValue::Null},
                         {"idle", QJsonValue::Null},
                         {"lock", QJsonValue::Null}}));
}

TEST(StatusReport, BusPropertiesBecomeValues) {
  struct Case {
    const char* name;
    QVariantMap properties;
    std::optional<std::int32_t> brightness;
    bool monitor;
  };
  const QVariantMap base{{"Monitors", QStringList{"ostrel-sim0"}},
                         {"CurrentMonitor", "ostrel-sim0"},
                         {"MCUVersion", 48},
                         {"Contrast", 3},
                         {"ImageMode", 3},
                         {"RefreshSpeed", 5},
                         {"FrontLightMode", 1},
                         {"Brightness", 42},
                         {"Temperature", 17},
                         {"AutoClear", restingAutoClear()}};
  QVariantMap sixteen = base;
  sixteen["MCUVersion"] = 16;
  QVariantMap gone = base;
  gone["CurrentMonitor"] = QString();
  gone["Monitors"] = QStringList{};
  const Case cases[] = {
      {"version 48", base, 42, true},
      {"version 16 has no front light", sixteen, std::nullopt, true},
      {"monitor gone", gone, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StatusValues v = StatusValues::fromBusProperties(c.properties);
    EXPECT_EQ(v.source, QStringLiteral("ostrel"));
    EXPECT_EQ(v.hasMonitor(), c.monitor);
    EXPECT_EQ(v.brightness, c.brightness);
    EXPECT_EQ(v.contrast, c.monitor ? std::optional<std::int32_t>(3) : std::nullopt);
    // Whether Auto Clear rests is Ostrel's, monitor or not.
    EXPECT_EQ(v.autoClear, restingAutoClear());
  }
}

}  // namespace
}  // namespace ostrel::ctl
