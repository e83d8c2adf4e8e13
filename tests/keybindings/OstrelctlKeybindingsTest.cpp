// `ostrelctl keybindings` and `ostrelctl gnome-shortcuts` as a user runs
// them: the program itself, the settings file the settings window wrote,
// GNOME's settings through the real GSettings (keyfile backend here).
#include "GnomeTestSettings.h"
#include "support/ChildProcess.h"
#include "support/OstrelProcess.h"

#include <gtest/gtest.h>
#include <QFile>

namespace ostrel {
namespace {

using namespace test;
using namespace std::chrono_literals;

struct CtlRun {
  int status = -1;
  QString out;
  QString err;
};

class OstrelctlKeybindings : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile::remove(preferenceFilePath());
    resetGnomeSettings();
  }
};

CtlRun ostrelctl(const QStringList& arguments, const std::map<QString, std::optional<QString>>& environment = {}) {
  ChildProcess ctl;
  for (const auto& [name, value] : environment) ctl.setEnvironment(name, value);
  QString error;
  EXPECT_TRUE(ctl.start(buildProgram(QStringLiteral("ostrelctl")), arguments, &error)) << error.toStdString();
  const std::optional<ChildExit> exit = ctl.waitForExit(60s);
  ctl.waitForEndOfStreams(10s);
  CtlRun run;
  run.status = exit && exit->exited ? exit->status : -1;
  for (const StampedLine& l : ctl.lines(ChildStream::Output)) run.out += QString::fromUtf8(l.text) + '\n';
  for (const StampedLine& l : ctl.lines(ChildStream::Error)) run.err += QString::fromUtf8(l.text) + '\n';
  return run;
}

TEST_F(OstrelctlKeybindings, PrintsTheRecordedShortcutsForEachCompositorRunningItself) {
  const QString self = buildProgram(QStringLiteral("ostrelctl"));
  // Never confirmed: the defaults, Control with D, U and P.
  CtlRun sway = ostrelctl({QStringLiteral("keybindings"), QStringLiteral("sway")});
  EXPECT_EQ(sway.status, 0) << sway.err.toStdString();
  EXPECT_EQ(sway.out, QStringLiteral("bindsym Ctrl+d exec %1 refresh\nbindsym Ctrl+u exec %1 contrast up\n"
                                     "bindsym Ctrl+p exec %1 contrast down\n")
                          .arg(self));
  ASSERT_TRUE(writePreferences({{QStringLiteral("refresh_hot_keycode"), 96},  // F5
                                {QStringLiteral("refresh_hot_keycode_flags"), 0x100000 | 0x20000},
                                {QStringLiteral("threshold_hot_keycode"), 126},
                                {QStringLiteral("threshold_hot_keycode_flags"), 0x40000 | 0x80000},
                                {QStringLiteral("threshold_down_hot_keycode"), 125},
                                {QStringLiteral("threshold_down_hot_keycode_flags"), 0x40000 | 0x80000}}));
  const CtlRun hyprland = ostrelctl({QStringLiteral("keybindings"), QStringLiteral("Hyprland")});
  EXPECT_EQ(hyprland.status, 0);
  EXPECT_EQ(hyprland.out, QStringLiteral("bind = SHIFT SUPER, F5, exec, %1 refresh\n"
                                         "bind = CTRL ALT, Up, exec, %1 contrast up\n"
                                         "bind = CTRL ALT, Down, exec, %1 contrast down\n")
                              .arg(self));
  const CtlRun weston = ostrelctl({QStringLiteral("keybindings"), QStringLiteral("weston")});
  EXPECT_EQ(weston.status, 2);
  EXPECT_EQ(weston.err, QStringLiteral("ostrelctl: keybindings must be sway, hyprland or i3, not \"weston\"\n"
                                       "Try 'ostrelctl --help'.\n"));
}

TEST_F(OstrelctlKeybindings, GnomeShortcutsAddStatusAndRemove) {
  ASSERT_EQ(qEnvironmentVariable("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
  const QString self = buildProgram(QStringLiteral("ostrelctl"));
  writeEntry(kCustomFolder + QStringLiteral("custom0/"), QStringLiteral("Terminal"), QStringLiteral("kgx"),
             QStringLiteral("<Primary>d"));
  setCustomPaths({kCustomFolder + QStringLiteral("custom0/")});

  const CtlRun before = ostrelctl({QStringLiteral("gnome-shortcuts"), QStringLiteral("status")});
  EXPECT_EQ(before.status, 1);
  EXPECT_EQ(before.out, QStringLiteral("refresh:        not among GNOME's custom shortcuts\n"
                                       "contrast-up:    not among GNOME's custom shortcuts\n"
                                       "contrast-down:  not among GNOME's custom shortcuts\n"));
  const CtlRun added = ostrelctl({QStringLiteral("gnome-shortcuts"), QStringLiteral("add")});
  EXPECT_EQ(added.status, 0) << added.err.toStdString();
  EXPECT_EQ(added.out, QStringLiteral("refresh:        Ctrl+D runs %1 refresh\n"
                                      "                the same key as your shortcut \"Terminal\": GNOME runs only "
                                      "one of them\n"
                                      "contrast-up:    Ctrl+U runs %1 contrast up\n"
                                      "contrast-down:  Ctrl+P runs %1 contrast down\n")
                           .arg(self));
  EXPECT_EQ(customPaths().size(), 4);
  EXPECT_EQ(ostrelctl({QStringLiteral("gnome-shortcuts"), QStringLiteral("status")}).status, 0);
  const CtlRun removed = ostrelctl({QStringLiteral("gnome-shortcuts"), QStringLiteral("remove")});
  EXPECT_EQ(removed.status, 0);
  EXPECT_EQ(removed.out, QString());
  EXPECT_EQ(customPaths(), QStringList{kCustomFolder + QStringLiteral("custom0/")});
}

TEST_F(OstrelctlKeybindings, WithoutGnomesSettingsItSaysWhyAndChangesNothing) {
  const CtlRun noSchema = ostrelctl({QStringLiteral("gnome-shortcuts"), QStringLiteral("add")},
                                    {{QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/nonexistent")}});
  EXPECT_EQ(noSchema.status, 1);
  EXPECT_EQ(noSchema.out, QString());
  EXPECT_EQ(noSchema.err, QStringLiteral("ostrelctl: GNOME's keyboard shortcut settings (the GSettings schema "
                                         "org.gnome.settings-daemon.plugins.media-keys) are not installed: this is "
                                         "not a GNOME desktop, or gnome-settings-daemon is missing\n"));
  const CtlRun memory = ostrelctl({QStringLiteral("gnome-shortcuts"), QStringLiteral("status")},
                                  {{QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory")}});
  EXPECT_EQ(memory.status, 1);
  EXPECT_TRUE(memory.err.contains(QStringLiteral("dconf-gsettings-backend is missing"))) << memory.err.toStdString();
  // dconf without a session bus to reach dconf-service by.
  const CtlRun noBus =
      ostrelctl({QStringLiteral("gnome-shortcuts"), QStringLiteral("add")},
                {{QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("dconf")},
                 {QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus")}});
  EXPECT_EQ(noBus.status, 1);
  EXPECT_TRUE(noBus.err.contains(QStringLiteral("GNOME's settings did not keep the change")))
      << noBus.err.toStdString();
  EXPECT_TRUE(customPaths().isEmpty());
}

}  // namespace
}  // namespace ostrel
