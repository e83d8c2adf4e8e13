// Ostrel on a headless sway (wlroots), which has no RemoteDesktop or
// GlobalShortcuts portal of its own but gives any client a virtual keyboard and
// pointer: the monitor's keys and pointer reach a window of the test's own,
// which has the focus, through Ostrel's virtual devices; a key combination
// typed through Ostrel's virtual keyboard runs sway's own binding of
// `ostrelctl`, which reaches the simulated monitor. The test process is itself
// a Wayland client of that sway.
#include "FocusProbe.h"
#include "MainWindowHarness.h"
#include "MonitorInputScript.h"
#include "OstrelStatus.h"
#include "SwayDesktop.h"
#include "WaylandDesktop.h"
#include "app/PlatformServices.h"
#include "common/DesktopServices.h"
#include "mainwindow/MonitorInputInjection.h"
#include "platform/KeyCodes.h"
#include "platform/wayland/WaylandVirtualInput.h"
#include "support/EventLoopWait.h"
#include "support/OstrelProcess.h"

#include <gtest/gtest.h>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;
using platform::wayland::WaylandVirtualInput;

constexpr std::uint16_t kR = 15;  // Ostrel's virtual key code of R

// The real xdg-desktop-portal beside sway, without a backend of sway's own.
// Where another desktop's backend is installed (KDE's, on this machine), the
// portal falls back to it and offers a RemoteDesktop that cannot reach sway.
class PortalBesideSway {
 public:
  bool start(QString* error) {
    const QString program = QStringLiteral("/usr/libexec/xdg-desktop-portal");
    if (!QFileInfo(program).isExecutable()) return true;  // none installed: sway as most users have it
    if (!process_.start(program, {}, error)) return false;
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return runEventLoopUntil(
        [bus] { return bus->isServiceRegistered(QStringLiteral("org.freedesktop.portal.Desktop")).value(); }, 60'000);
  }
  bool offersRemoteDesktop() const {
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.portal.RemoteDesktop") << QStringLiteral("version");
    return QDBusConnection::sessionBus().call(get, QDBus::Block, 10'000).type() == QDBusMessage::ReplyMessage;
  }

 private:
  ChildProcess process_;
};

TEST(OstrelOnSway, PassesTheMonitorsInputOnThroughTheCompositorAndItsKeysRunSwaysBindings) {
  if (const auto missing = missingDesktop()) GTEST_SKIP() << *missing;
  // Control+Alt with R, Up and Down recorded, as sway users often bind them.
  const qint64 controlAlt = keys::kControl | keys::kOption;
  ASSERT_TRUE(writePreferences({{QStringLiteral("refresh_hot_keycode"), kR},
                                {QStringLiteral("refresh_hot_keycode_flags"), controlAlt},
                                {QStringLiteral("threshold_hot_keycode"), keys::kUpArrow},
                                {QStringLiteral("threshold_hot_keycode_flags"), controlAlt},
                                {QStringLiteral("threshold_down_hot_keycode"), keys::kDownArrow},
                                {QStringLiteral("threshold_down_hot_keycode_flags"), controlAlt}}));
  PortalBesideSway portal;
  QString error;
  ASSERT_TRUE(portal.start(&error)) << error.toStdString();
  RecordProperty("remote_desktop_portal_beside_sway", portal.offersRemoteDesktop() ? "offered" : "absent");
  SimulatedMonitor monitor(16, QStringLiteral("sway-sim0"));
  ASSERT_TRUE(monitor.start(&error)) << error.toStdString();
  OstrelProcess ostrel;
  ostrel.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), std::nullopt);  // Ostrel's own choice
  ASSERT_TRUE(ostrel.start(&error)) << error.toStdString();
  for (const char* line : {"The monitor's keys and pointer go through the Wayland compositor's virtual keyboard",
                           "updateViewSpeedDisplay"}) {
    ASSERT_TRUE(ostrel.waitForLogStartingWith(line, 60s)) << ostrel.logText().toStdString();
  }
  const QJsonObject input = statusJson()[QStringLiteral("desktop")][QStringLiteral("input")].toObject();
  EXPECT_EQ(input[QStringLiteral("backend")].toString(), QStringLiteral("wayland"));
  EXPECT_EQ(input[QStringLiteral("detail")].toString(),
            WaylandVirtualInput::describe() + QStringLiteral(": no permission needed"));

  FocusProbe probe;
  ASSERT_TRUE(focusOnSway(probe)) << "the probe window did not get the focus";
  ASSERT_TRUE(monitor.command("key pagedown"));
  EXPECT_TRUE(runEventLoopUntil([&] { return probe.count(QEvent::KeyRelease, Qt::Key_PageDown) == 1; }, 30'000));
  EXPECT_EQ(probe.count(QEvent::KeyPress, Qt::Key_PageDown), 1u);

  // The user's sway configuration with the lines for Ostrel, read again.
  const std::optional<QByteArray> lines = swayBindingsForOstrelctl(&error);
  ASSERT_TRUE(lines) << error.toStdString();
  QFile config(swayConfigFolder() + QStringLiteral("/50-ostrel"));
  ASSERT_TRUE(config.open(QIODevice::WriteOnly) && config.write(*lines) > 0);
  config.close();
  ASSERT_TRUE(swaymsg({QStringLiteral("reload")}, &error)) << error.toStdString();

  // Ostrel's virtual keyboard, as a person's keyboard: sway's bindings run
  // ostrelctl (as sway's user), which asks Ostrel over the session bus. The
  // simulator starts at contrast 5: up sends 6 and reads it back, down 5.
  const std::unique_ptr<WaylandVirtualInput> keyboard = WaylandVirtualInput::create(&error);
  ASSERT_TRUE(keyboard) << error.toStdString();
  const struct {
    std::uint16_t key;
    QList<QByteArray> frames;
  } presses[] = {{kR, {commandFrame(3, 1)}},
                 {keys::kUpArrow, {commandFrame(1, 6), commandFrame(10, 1)}},
                 {keys::kDownArrow, {commandFrame(1, 5), commandFrame(10, 1)}}};
  for (const auto& press : presses) {
    std::size_t from = monitor.frameCount();
    ASSERT_TRUE(keyboard->tapKeyWithModifiers(press.key, keys::kControl | keys::kOption));
    for (const QByteArray& frame : press.frames) {
      const auto at = monitor.waitForFrame(frame, 30s, from);
      ASSERT_TRUE(at) << "Control+Alt with key code " << press.key << ": no " << frame.toStdString();
      from = *at + 1;
    }
  }
  runEventLoopFor(100);
  for (int key : {Qt::Key_R, Qt::Key_Up, Qt::Key_Down})
    EXPECT_EQ(probe.count(QEvent::KeyPress, key), 0u) << "a bound key also reached the focused window";
  ostrel.stop();
}

// The application's own pieces in this process, as main() puts them
// together: the backend PlatformServices chooses, the main window with a
// simulated monitor.
class VirtualInputInProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (missingDesktop()) return;
    resetProcessState();
    DesktopServices::shared().reset();
    platform = new PlatformServices;
    ASSERT_EQ(platform->kind(), SessionKind::Wayland);
    ASSERT_TRUE(platform->injector()) << platform->whyNoInjector().toStdString();
    ASSERT_EQ(DesktopServices::shared().state(DesktopService::Input).backend, QStringLiteral("wayland"));
    monitor = new SimulatedMonitor(48, uniqueMonitorName());
    QString error;
    ASSERT_TRUE(loadWithMonitor(*monitor, window, &error, platform->injector())) << error.toStdString();
    probe = new FocusProbe;
  }
  static void TearDownTestSuite() {
    delete probe;
    window.reset();
    delete monitor;
    delete platform;
    DesktopServices::shared().reset();
  }
  void SetUp() override {
    if (const auto missing = missingDesktop()) GTEST_SKIP() << *missing;
    ASSERT_TRUE(window && probe);
    ASSERT_TRUE(focusOnSway(*probe));
  }

  // A console line for the simulator, then the event loop until `done`.
  static bool monitorSends(const QByteArray& line, const std::function<bool()>& done) {
    return monitor->command(line) && runEventLoopUntil(done, 30'000);
  }

  static inline PlatformServices* platform = nullptr;
  static inline SimulatedMonitor* monitor = nullptr;
  static inline std::unique_ptr<LoadedWindow> window;
  static inline FocusProbe* probe = nullptr;
};

TEST_F(VirtualInputInProcess, TheMonitorsKeysPointerAndClicksReachTheFocusedWindow) {
  // sway starts the pointer in a corner, where it would clamp a step: right
  // and down first.
  expectKeysStepsAndClicks(*probe, monitorSends, {"move right", "move down"});
}

TEST_F(VirtualInputInProcess, ALongMoveKeepsMovingUntilItStops) {
  expectLongMoveUntilItStops(*probe, monitorSends, (*window)->monitorInput(), "move right");
}

}  // namespace
}  // namespace ostrel::test
