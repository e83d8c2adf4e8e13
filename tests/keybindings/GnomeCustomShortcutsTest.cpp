// Ostrel's shortcuts among GNOME's custom shortcuts, through the real
// GSettings with GNOME's own schema (gnome-settings-daemon-common) and its
// keyfile backend in the test's fresh XDG_CONFIG_HOME; `gsettings` reads and
// writes the same settings as another program would.
#include "GnomeTestSettings.h"
#include "common/DesktopServices.h"
#include "common/NotificationCenter.h"
#include "keybindings/GnomeCustomShortcuts.h"
#include "keybindings/GnomeShortcutsKeeper.h"
#include "platform/KeyCodes.h"
#include "platform/gnome/GSettingsCustomShortcutStore.h"
#include "settings/ProgramValues.h"
#include "support/ChildProcess.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

namespace ostrel {
namespace {

using namespace keys;
using namespace test;

// Spelled out: what the README's recipe and an older Ostrel wrote.
const QString kRefresh = kCustomFolder + QStringLiteral("ostrel-refresh/");
const QString kUp = kCustomFolder + QStringLiteral("ostrel-contrast-up/");
const QString kDown = kCustomFolder + QStringLiteral("ostrel-contrast-down/");
const QString kCustom0 = kCustomFolder + QStringLiteral("custom0/");
const QString kCustom1 = kCustomFolder + QStringLiteral("custom1/");

// Every value the keyfile backend keeps, as "group/key=value" lines. (It
// leaves a group it emptied behind, which holds nothing.)
QStringList keyfile() {
  QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/glib-2.0/settings/keyfile"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QStringList values;
  QString group;
  for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    if (line.startsWith(QLatin1Char('['))) {
      group = line;
    } else {
      values << group + line;
    }
  }
  return values;
}

class GnomeCustomShortcutsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(qEnvironmentVariable("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
    QString why;
    store = platform::gnome::GSettingsCustomShortcutStore::create(&why);
    ASSERT_TRUE(store) << why.toStdString();
    resetGnomeSettings();
    // Through a list only this test writes, so that the file monitor has
    // brought every change of the reset.
    setCustomPaths({kCustomFolder + QStringLiteral("settled/")});
    seesList({kCustomFolder + QStringLiteral("settled/")});
    gsettings({QStringLiteral("reset"), kMediaKeys, QStringLiteral("custom-keybindings")});
    seesList({});
    record(15, kControl | kOption, kUpArrow, kControl | kOption, kDownArrow, kControl | kOption);
    DesktopServices::shared().reset();
  }

  // What another program writes reaches this process's GSettings (the
  // keyfile backend) when the file monitor reports it; written last, the list
  // says everything before it has arrived. (dconf reads afresh at each read.)
  void seesList(const QStringList& paths) {
    EXPECT_TRUE(runEventLoopUntil([&] { return store->paths() == paths; }, 20'000))
        << store->paths().join(' ').toStdString();
  }

  static void record(std::uint32_t r, std::uint32_t rf, std::uint32_t u, std::uint32_t uf, std::uint32_t d,
                     std::uint32_t df) {
    RefreshHotkeyKeyCode = r;
    RefreshHotkeyModifierFlags = rf;
    ThresholdInfoHotkeyKeyCode = u;
    ThresholdInfoHotkeyModifierFlags = uf;
    ThresholdDownInfoHotkeyKeyCode = d;
    ThresholdDownInfoHotkeyModifierFlags = df;
  }

  void writeUsersOwn() {
    writeEntry(kCustom0, QStringLiteral("Terminal"), QStringLiteral("gnome-terminal"), QStringLiteral("<Super>t"));
    writeEntry(kCustom1, QStringLiteral("Files"), QStringLiteral("nautilus --new-window"), QStringLiteral("<Super>e"));
    // A path GNOME itself cannot use stays where it is, untouched.
    setCustomPaths({kCustom0, QStringLiteral("/not/a path"), kCustom1});
    seesList({kCustom0, QStringLiteral("/not/a path"), kCustom1});
  }

  const QString ostrelctl = buildProgram(QStringLiteral("ostrelctl"));
  std::unique_ptr<platform::gnome::GSettingsCustomShortcutStore> store;
};

TEST_F(GnomeCustomShortcutsTest, AddWritesExactlyTheThreeAfterTheUsersOwnAndRemoveLeavesAllAsItWas) {
  writeUsersOwn();
  const QStringList before = keyfile();
  const QStringList usersList = customPaths();
  GnomeCustomShortcuts shortcuts(*store, ostrelctl);
  const GnomeShortcutsOutcome added = shortcuts.add(recordedShortcuts(), true);
  ASSERT_TRUE(added.ok) << added.error.toStdString();

  EXPECT_EQ(customPaths(), usersList + QStringList({kRefresh, kUp, kDown}));
  const struct {
    QString path, name, command, binding;
  } wanted[] = {
      {kRefresh, "Ostrel: Fast Refresh", ostrelctl + " refresh", "<Control><Alt>r"},
      {kUp, "Ostrel: Contrast Up", ostrelctl + " contrast up", "<Control><Alt>Up"},
      {kDown, "Ostrel: Contrast Down", ostrelctl + " contrast down", "<Control><Alt>Down"},
  };
  for (const auto& w : wanted) {
    SCOPED_TRACE(w.path.toStdString());
    EXPECT_EQ(entryValue(w.path, QStringLiteral("name")), w.name);
    EXPECT_EQ(entryValue(w.path, QStringLiteral("command")), w.command);
    EXPECT_EQ(entryValue(w.path, QStringLiteral("binding")), w.binding);
  }
  EXPECT_EQ(entryValue(kCustom0, QStringLiteral("command")), QStringLiteral("gnome-terminal"));
  EXPECT_EQ(entryValue(kCustom1, QStringLiteral("binding")), QStringLiteral("<Super>e"));
  const GnomeShortcutsStatus status = shortcuts.status(recordedShortcuts());
  EXPECT_TRUE(status.allWork());
  EXPECT_EQ(status.of(KeybindingAction::ContrastUp)->keys, QStringLiteral("Ctrl+Alt+Up"));
  EXPECT_TRUE(status.of(KeybindingAction::ContrastUp)->asRecorded);
  EXPECT_TRUE(status.of(KeybindingAction::ContrastUp)->runsThisOstrelctl);

  // Again: the same three, once each.
  ASSERT_TRUE(shortcuts.add(recordedShortcuts(), true).ok);
  EXPECT_EQ(customPaths(), usersList + QStringList({kRefresh, kUp, kDown}));

  const GnomeShortcutsOutcome removed = shortcuts.remove();
  ASSERT_TRUE(removed.ok) << removed.error.toStdString();
  EXPECT_EQ(customPaths(), usersList);
  EXPECT_EQ(keyfile(), before);
  EXPECT_FALSE(shortcuts.status(recordedShortcuts()).anyListed());
}

TEST_F(GnomeCustomShortcutsTest, RemoveGivesAnEmptyListBackToGnomesDefault) {
  const QStringList before = keyfile();
  GnomeCustomShortcuts shortcuts(*store, ostrelctl);
  ASSERT_TRUE(shortcuts.add(recordedShortcuts(), false).ok);
  EXPECT_EQ(entryValue(kRefresh, QStringLiteral("name")), QStringLiteral("Ostrel：快速刷新"));
  ASSERT_TRUE(shortcuts.remove().ok);
  EXPECT_EQ(gsettings({QStringLiteral("get"), kMediaKeys, QStringLiteral("custom-keybindings")}),
            QStringLiteral("@as []"));
  EXPECT_EQ(keyfile(), before);
}

TEST_F(GnomeCustomShortcutsTest, UpdateFollowsNewKeysOnlyForTheEntriesStillListed) {
  GnomeCustomShortcuts shortcuts(*store, ostrelctl);
  // Nothing listed yet: an update adds nothing.
  ASSERT_TRUE(shortcuts.update(recordedShortcuts(), true).ok);
  EXPECT_TRUE(customPaths().isEmpty());

  ASSERT_TRUE(shortcuts.add(recordedShortcuts(), true).ok);
  // The user removed contrast up in GNOME Settings, which clears the entry too.
  gsettings({QStringLiteral("reset-recursively"), kMediaKeys + QStringLiteral(".custom-keybinding:") + kUp});
  setCustomPaths({kRefresh, kDown});
  seesList({kRefresh, kDown});
  record(kD, kControl | kShift, kU, kControl | kShift, kP, kControl | kShift);
  ASSERT_TRUE(shortcuts.update(recordedShortcuts(), false).ok);
  EXPECT_EQ(customPaths(), (QStringList{kRefresh, kDown}));
  EXPECT_EQ(entryValue(kRefresh, QStringLiteral("binding")), QStringLiteral("<Control><Shift>d"));
  EXPECT_EQ(entryValue(kDown, QStringLiteral("binding")), QStringLiteral("<Control><Shift>p"));
  EXPECT_EQ(entryValue(kDown, QStringLiteral("name")), QStringLiteral("Ostrel：对比度减小"));
  EXPECT_EQ(entryValue(kUp, QStringLiteral("binding")), QString());
}

TEST_F(GnomeCustomShortcutsTest, StatusKnowsTheRecipesEntriesTheUsersOwnAndTheirKeys) {
  // The README's recipe (ostrelctl through PATH), and shortcuts made by hand
  // in GNOME Settings.
  const QByteArray path = QFileInfo(ostrelctl).path().toLocal8Bit() + ':' + qgetenv("PATH");
  qputenv("PATH", path);
  writeEntry(kRefresh, QStringLiteral("E-paper fast refresh"), QStringLiteral("ostrelctl refresh"),
             QStringLiteral("<Super><Shift>r"));
  writeEntry(kCustom0, QStringLiteral("Down by hand"), QStringLiteral("ostrelctl contrast down"),
             QStringLiteral("<Primary>p"));
  writeEntry(kCustom1, QStringLiteral("Old up"), QStringLiteral("/nowhere/ostrelctl contrast up"),
             QStringLiteral("<Super>u"));
  const QString terminal = kCustomFolder + QStringLiteral("custom2/");
  writeEntry(terminal, QStringLiteral("Terminal"), QStringLiteral("kgx"), QStringLiteral("<Shift><Mod4>R"));
  setCustomPaths({kCustom0, kCustom1, kRefresh, terminal});
  seesList({kCustom0, kCustom1, kRefresh, terminal});

  GnomeCustomShortcuts shortcuts(*store, ostrelctl);
  GnomeShortcutsStatus status = shortcuts.status(recordedShortcuts());
  const GnomeShortcutState* refresh = status.of(KeybindingAction::Refresh);
  EXPECT_TRUE(refresh->listed);
  EXPECT_TRUE(refresh->runs);
  EXPECT_FALSE(refresh->runsThisOstrelctl);
  EXPECT_EQ(refresh->keys, QStringLiteral("Shift+Super+R"));
  EXPECT_FALSE(refresh->asRecorded);
  EXPECT_EQ(refresh->sameKeyAs, QStringList{QStringLiteral("Terminal")});
  EXPECT_TRUE(refresh->works());
  const GnomeShortcutState* up = status.of(KeybindingAction::ContrastUp);
  EXPECT_FALSE(up->listed);
  EXPECT_TRUE(up->alsoBy.isEmpty()) << "an ostrelctl that is not there runs nothing";
  EXPECT_FALSE(up->works());
  const GnomeShortcutState* down = status.of(KeybindingAction::ContrastDown);
  EXPECT_FALSE(down->listed);
  EXPECT_EQ(down->alsoBy, QStringList{QStringLiteral("Down by hand")});
  EXPECT_TRUE(down->works());
  EXPECT_FALSE(status.allWork());

  // Adding takes the recipe's entry over: this ostrelctl, the recorded key.
  ASSERT_TRUE(shortcuts.add(recordedShortcuts(), true).ok);
  EXPECT_EQ(customPaths(), (QStringList{kCustom0, kCustom1, kRefresh, terminal, kUp, kDown}));
  status = shortcuts.status(recordedShortcuts());
  EXPECT_TRUE(status.of(KeybindingAction::Refresh)->runsThisOstrelctl);
  EXPECT_TRUE(status.of(KeybindingAction::Refresh)->asRecorded);
  EXPECT_TRUE(status.of(KeybindingAction::Refresh)->sameKeyAs.isEmpty());
  EXPECT_EQ(entryValue(kCustom0, QStringLiteral("command")), QStringLiteral("ostrelctl contrast down"));
  EXPECT_TRUE(status.allWork());
}

TEST_F(GnomeCustomShortcutsTest, RefusesAMissingOstrelctlAndAKeyGnomeCannotNameAndWritesNothing) {
  writeUsersOwn();
  const QStringList before = keyfile();
  GnomeCustomShortcuts missing(*store, QStringLiteral("/nowhere/bin/ostrelctl"));
  const GnomeShortcutsOutcome noProgram = missing.add(recordedShortcuts(), true);
  EXPECT_FALSE(noProgram.ok);
  EXPECT_EQ(noProgram.error,
            QStringLiteral("/nowhere/bin/ostrelctl is missing: ostrelctl is not installed beside Ostrel"));
  record(kD, kControl, 102, kControl, kP, kControl);  // 102: a key of Japanese keyboards
  GnomeCustomShortcuts shortcuts(*store, ostrelctl);
  const GnomeShortcutsOutcome noName = shortcuts.add(recordedShortcuts(), true);
  EXPECT_FALSE(noName.ok);
  EXPECT_TRUE(noName.error.startsWith(QStringLiteral("the contrast up shortcut is on a key GNOME has no name for")))
      << noName.error.toStdString();
  EXPECT_EQ(keyfile(), before);
}

TEST_F(GnomeCustomShortcutsTest, TheKeeperTellsWhatServesTheShortcutsAndFollowsGnomeAndTheSettingsWindow) {
  GnomeShortcutsKeeper keeper(std::move(store), ostrelctl, QStringLiteral("GNOME 43.9 has no GlobalShortcuts portal"));
  DesktopServices& services = DesktopServices::shared();
  EXPECT_EQ(GnomeShortcutsKeeper::active(), &keeper);
  EXPECT_EQ(services.ownKeybindings(), QStringLiteral("gnome"));
  const ServiceState notYet{QString(), QStringLiteral("GNOME 43.9 has no GlobalShortcuts portal, and GNOME's custom "
                                                      "shortcuts do not run ostrelctl for fast refresh, contrast up, "
                                                      "contrast down")};
  EXPECT_EQ(services.state(DesktopService::Shortcuts), notYet);

  ASSERT_TRUE(keeper.add().ok);
  EXPECT_EQ(services.state(DesktopService::Shortcuts).backend, QStringLiteral("gnome"));
  EXPECT_EQ(services.binding(), ShortcutBinding::Bound);
  const ShortcutAssignment down{DesktopShortcutContrastDown, QStringLiteral("CTRL+ALT+Down"),
                                QStringLiteral("Ctrl+Alt+Down")};
  EXPECT_EQ(services.assignment(DesktopShortcutContrastDown), down);
  EXPECT_TRUE(services.assignment(DesktopShortcutContrastDown).matchesPreferred());

  // Another program (GNOME Settings, `ostrelctl gnome-shortcuts remove`)
  // takes one out: the keeper sees it.
  setCustomPaths({kRefresh, kDown});
  ASSERT_TRUE(runEventLoopUntil([&] { return services.state(DesktopService::Shortcuts).backend.isEmpty(); }, 20'000));
  EXPECT_TRUE(services.state(DesktopService::Shortcuts).detail.endsWith(QStringLiteral("for contrast up")));
  ASSERT_TRUE(keeper.add().ok);

  // OK in the settings window with new keys: GNOME gets them.
  record(kD, kCommand, kU, kCommand, kP, kCommand);
  NotificationCenter::defaultCenter().post({ShortcutValuesDidChangeNotification, nullptr, {}});
  EXPECT_EQ(entryValue(kUp, QStringLiteral("binding")), QStringLiteral("<Super>u"));
  EXPECT_EQ(services.assignment(DesktopShortcutRefresh).assigned, QStringLiteral("Super+D"));

  ASSERT_TRUE(keeper.remove().ok);
  EXPECT_TRUE(services.state(DesktopService::Shortcuts).backend.isEmpty());
  EXPECT_EQ(services.binding(), ShortcutBinding::NotAsked);
}

}  // namespace
}  // namespace ostrel
