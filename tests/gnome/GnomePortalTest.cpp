// Ostrel on a headless GNOME Shell 48 with GNOME's real portals, started as
// `make run` starts it (scripts/run-ostrel.sh writes the desktop entry GNOME
// knows it by). At the first start GNOME asks the user: its "Add Keyboard
// Shortcuts" and "Remote Desktop" dialogs open, once each, and Ostrel waits
// for them. At a later start GNOME has stored the user's answers (written
// here as GNOME itself stores them), binds at once and asks nothing: the
// shortcuts pressed on the keyboard reach the simulated monitor while another
// window has the focus, and the monitor's keys and pointer reach that window;
// a key the user changes in GNOME Settings is the one Ostrel shows.
#include "FocusProbe.h"
#include "GnomeShell.h"
#include "OstrelStatus.h"
#include "PortalKeyboard.h"
#include "platform/portal/RestoreTokenStore.h"
#include "support/EventLoopWait.h"
#include "support/OstrelProcess.h"
#include "support/SimulatedMonitor.h"
#include "support/SkipPolicy.h"

#include <gtest/gtest.h>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonArray>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

const QString kOstrelId = QStringLiteral("VELDOR.Ostrel");
const QString kShortcutsDialog = QStringLiteral("Add Keyboard Shortcuts");
const QString kInputDialog = QStringLiteral("Remote Desktop");
const QByteArray kWaitingForShortcuts =
    "The desktop asks the user to add Ostrel's global shortcuts; waiting for the desktop's confirmation";
const QByteArray kWaitingForInput =
    "The desktop asks the user whether Ostrel may pass on the monitor's keys and pointer; waiting for the "
    "desktop's confirmation";

using namespace evdev;

// Ostrel's three shortcuts as GNOME Settings keeps them once the user added
// them (Control with D, U and P), Fast refresh on `refresh`.
QList<GrantedShortcut> withRefreshOn(const QString& refresh) {
  return {{QStringLiteral("refresh"), QStringLiteral("Fast refresh (clear ghosting)"), refresh},
          {QStringLiteral("contrast-up"), QStringLiteral("Contrast up"), QStringLiteral("<Control>u")},
          {QStringLiteral("contrast-down"), QStringLiteral("Contrast down"), QStringLiteral("<Control>p")}};
}

QString desktopEntry() {
  return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/VELDOR.Ostrel.desktop");
}

class OstrelOnGnome : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto why = whyNoGnomePortals()) {
      if (qEnvironmentVariableIsSet("OSTREL_WAYLAND_MISSING") &&
          qEnvironmentVariable("OSTREL_REQUIRE_ALL_TESTS") == QLatin1String("1")) {
        FAIL() << *why;
      }
      if (qEnvironmentVariableIsSet("OSTREL_WAYLAND_MISSING")) GTEST_SKIP() << *why;
      GTEST_SKIP() << notForThisSystem(*why);
    }
    ASSERT_TRUE(writePreferences(englishControlDUP()));
    ostrel.setLauncher(runOstrelScript());
    ostrel.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), std::nullopt);  // Ostrel's own choice
  }

  SimulatedMonitor monitor{16, QStringLiteral("gnome-sim0")};
  OstrelProcess ostrel;
};

TEST_F(OstrelOnGnome, AtTheFirstStartGnomeAsksOnceAndOstrelWaitsForItsConfirmation) {
  QString error;
  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  ASSERT_FALSE(QFileInfo::exists(desktopEntry()));
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  for (const QByteArray& line : {kWaitingForShortcuts, kWaitingForInput}) {
    ASSERT_TRUE(ostrel.waitForLog(line, 60s)) << ostrel.logText().toStdString();
  }
  EXPECT_TRUE(QFileInfo::exists(desktopEntry())) << "make run's desktop entry, which GNOME asked about";
  EXPECT_TRUE(runEventLoopUntil([] { return windowsTitled(kShortcutsDialog) == 1; }, 30'000));
  EXPECT_TRUE(runEventLoopUntil([] { return windowsTitled(kInputDialog) == 1; }, 30'000));
  const QImage shot = gnomeScreenshot(QStringLiteral("gnome-first-start-dialogs"), &error);
  EXPECT_FALSE(shot.isNull()) << error.toStdString();

  const QJsonObject desktop = statusJson().value(QStringLiteral("desktop")).toObject();
  for (const char* service : {"shortcuts", "input"}) {
    SCOPED_TRACE(service);
    const QJsonObject s = desktop[QLatin1String(service)].toObject();
    EXPECT_TRUE(s[QStringLiteral("awaitingConfirmation")].toBool());
    EXPECT_TRUE(s[QStringLiteral("detail")].toString().endsWith(QLatin1String("waiting for the desktop's confirmation")))
        << s[QStringLiteral("detail")].toString().toStdString();
  }

  // However long the user takes, Ostrel asks nothing more.
  runEventLoopFor(3000);
  EXPECT_EQ(windowsTitled(kShortcutsDialog), 1);
  EXPECT_EQ(windowsTitled(kInputDialog), 1);
  EXPECT_EQ(ostrel.countLog(kWaitingForShortcuts), 1);
  EXPECT_EQ(ostrel.countLog(kWaitingForInput), 1);

  // The dialog goes without an answer; the portal answers as for a Cancel.
  ASSERT_TRUE(endShortcutProvider(&error)) << error.toStdString();
  const QByteArray declined =
      "The desktop declined Ostrel's global shortcuts; Ostrel asks again when they change or at its next start";
  ASSERT_TRUE(ostrel.waitForLog(declined, 60s)) << ostrel.logText().toStdString();
  const QJsonObject shortcuts = statusJson()[QStringLiteral("desktop")][QStringLiteral("shortcuts")].toObject();
  EXPECT_EQ(shortcuts[QStringLiteral("binding")].toString(), QStringLiteral("declined"));
  EXPECT_FALSE(shortcuts[QStringLiteral("awaitingConfirmation")].toBool());
  runEventLoopFor(3000);
  EXPECT_EQ(windowsTitled(kShortcutsDialog), 0) << "asked again after a Cancel";
  EXPECT_EQ(ostrel.countLog(declined), 1);
  EXPECT_EQ(ostrel.countLog(kWaitingForShortcuts), 1);

  ostrel.stop();
  // Ostrel's session ends with it, and so does the question about it.
  EXPECT_TRUE(runEventLoopUntil([] { return windowsTitled(kInputDialog) == 0; }, 30'000));
  EXPECT_FALSE(QFileInfo::exists(desktopEntry())) << "make run's desktop entry outlived Ostrel";
}

TEST_F(OstrelOnGnome, WithWhatGnomeStoredAfterTheUsersYesItAsksNothingAndTheKeysGoThrough) {
  QString error;
  ASSERT_TRUE(storeShortcutGrant(kOstrelId, withRefreshOn(QStringLiteral("<Control>d")), &error)) << error.toStdString();
  const QString ostrelToken = storeRemoteDesktopGrant(kOstrelId, &error);
  ASSERT_FALSE(ostrelToken.isEmpty()) << error.toStdString();
  ASSERT_TRUE(platform::portal::RestoreTokenStore().save(ostrelToken, &error)) << error.toStdString();
  const QString keyboardToken = storeRemoteDesktopGrant(QString(), &error);
  ASSERT_FALSE(keyboardToken.isEmpty()) << error.toStdString();

  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  for (const char* line : {"The desktop bound Ostrel's global shortcuts", "The desktop takes the monitor's keys"}) {
    ASSERT_TRUE(ostrel.waitForLogStartingWith(line, 60s)) << ostrel.logText().toStdString();
  }
  EXPECT_EQ(windowsTitled(kShortcutsDialog), 0);
  EXPECT_EQ(windowsTitled(kInputDialog), 0);
  const QJsonObject desktop = statusJson().value(QStringLiteral("desktop")).toObject();
  QStringList assigned;
  for (const QJsonValue& key : desktop[QStringLiteral("shortcuts")][QStringLiteral("keys")].toArray()) {
    assigned << key[QStringLiteral("id")].toString() + QLatin1Char('=') + key[QStringLiteral("assigned")].toString();
  }
  EXPECT_EQ(assigned.join(QLatin1Char(' ')), QStringLiteral("refresh=Ctrl+D contrast-up=Ctrl+U contrast-down=Ctrl+P"));
  EXPECT_EQ(desktop[QStringLiteral("shortcuts")][QStringLiteral("changedByDesktop")].toInt(), 0);

  // GNOME makes the pointer of a RemoteDesktop session with its first step;
  // a user's pointer is there before the windows it points at, and so it is
  // here. (A window that is already there hears of a new pointer only when it
  // next enters one.)
  const auto shellPointer = [] {
    return shellEval(QStringLiteral("global.get_pointer()"), nullptr).value_or(QString());
  };
  const QString pointerWas = shellPointer();
  ASSERT_TRUE(monitor.command("move right"));
  ASSERT_TRUE(runEventLoopUntil([&] { return shellPointer() != pointerWas; }, 30'000))
      << "GNOME's pointer did not move; " << ostrel.logText().toStdString();

  // "Another application", in front as a click on it would put it: GNOME
  // gives no window the focus by itself while Ostrel's is new.
  FocusProbe probe;
  probe.setWindowTitle(QStringLiteral("ostrel-focus-probe"));
  probe.showFullScreen();
  ASSERT_TRUE(runEventLoopUntil([&] { return windowsTitled(probe.windowTitle()) == 1; }, 30'000));
  ASSERT_TRUE(focusWindowTitled(probe.windowTitle(), &error)) << error.toStdString();
  ASSERT_TRUE(runEventLoopUntil([&] { return probe.isActiveWindow(); }, 30'000));
  PortalKeyboard keyboard;
  ASSERT_TRUE(keyboard.start(&error, keyboardToken)) << error.toStdString();
  EXPECT_EQ(windowsTitled(kInputDialog), 0);
  expectShortcutFrames(monitor, controlDUPPresses(), [&](int key) { keyboard.press({kCtrl, key}); });
  EXPECT_TRUE(probe.isActiveWindow());
  for (int key : {Qt::Key_D, Qt::Key_U, Qt::Key_P}) {
    EXPECT_EQ(probe.count(QEvent::KeyPress, key), 0u) << "a shortcut's key also reached the focused window";
  }

  ASSERT_TRUE(monitor.command("key pagedown"));
  EXPECT_TRUE(runEventLoopUntil([&] { return probe.count(QEvent::KeyRelease, Qt::Key_PageDown) == 1; }, 30'000));
  EXPECT_EQ(probe.count(QEvent::KeyPress, Qt::Key_PageDown), 1u);
  // The first step made GNOME's pointer (see above); it entered the window
  // when the window appeared. Each step since moves it by exactly 6.
  const auto lastSeen = [&probe] {
    for (auto it = probe.inputs.crbegin(); it != probe.inputs.crend(); ++it) {
      if (it->type == QEvent::Enter || it->type == QEvent::MouseMove) return std::optional<QPoint>(it->at);
    }
    return std::optional<QPoint>();
  };
  ASSERT_TRUE(runEventLoopUntil([&] { return lastSeen().has_value(); }, 30'000)) << "the pointer never entered the window";
  QPoint at = *lastSeen();
  std::size_t from = 0;
  for (const auto& [line, by] : {std::pair{"move down", QPoint(0, 6)}, {"move left", QPoint(-6, 0)}}) {
    SCOPED_TRACE(line);
    from = probe.inputs.size();
    ASSERT_TRUE(monitor.command(line));
    ASSERT_TRUE(runEventLoopUntil([&] { return !probe.moves(from).empty(); }, 30'000));
    EXPECT_EQ(probe.moves(from).back() - at, by);
    at = probe.moves(from).back();
  }
  ASSERT_TRUE(monitor.command("click left"));
  EXPECT_TRUE(runEventLoopUntil([&] { return probe.count(QEvent::MouseButtonRelease, int(Qt::LeftButton)) == 1; },
                                30'000));

  // The user gives Fast refresh another key in GNOME Settings: Ostrel shows
  // it. (Pressing it does nothing in this session: xdg-desktop-portal-gnome
  // 48.0 grabs the new key without noting which shortcut it belongs to, and a
  // new bind cannot take it back from that grab; seen here.)
  ASSERT_TRUE(changeShortcutsInSettings(kOstrelId, withRefreshOn(QStringLiteral("<Control><Shift>d")), &error))
      << error.toStdString();
  ASSERT_TRUE(ostrel.waitForLog("The desktop's keyboard settings changed Ostrel's global shortcuts: refresh = "
                                "Ctrl+Shift+D, contrast-up = Ctrl+U, contrast-down = Ctrl+P",
                                30s))
      << ostrel.logText().toStdString();
  const QJsonObject changed = statusJson()[QStringLiteral("desktop")][QStringLiteral("shortcuts")].toObject();
  EXPECT_EQ(changed[QStringLiteral("binding")].toString(), QStringLiteral("bound"));
  EXPECT_EQ(changed[QStringLiteral("changedByDesktop")].toInt(), 1);
  EXPECT_EQ(changed[QStringLiteral("keys")][0][QStringLiteral("assigned")].toString(), QStringLiteral("Ctrl+Shift+D"));
  EXPECT_FALSE(changed[QStringLiteral("keys")][0][QStringLiteral("asRecorded")].toBool());
  EXPECT_EQ(changed[QStringLiteral("keys")][1][QStringLiteral("assigned")].toString(), QStringLiteral("Ctrl+U"));
  ostrel.stop();
}

}  // namespace
}  // namespace ostrel::test
