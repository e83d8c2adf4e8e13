// The session-bus service inside a real main window: the real ViewController,
// port manager and serial ports, ostrel-sim as the monitor, and the test
// calling over its own session bus (ostrel_add_test ... DBUS) like ostrelctl.

#include "BusTestClient.h"
#include "ControlFrames.h"
#include "app/MainWindowControlTarget.h"
#include "common/Log.h"
#include "control/ControlProtocol.h"
#include "control/ControlSnapshot.h"
#include "control/OstrelControlService.h"
#include "control/SingleInstance.h"
#include "mainwindow/ViewController.h"
#include "monitor/MonitorState.h"
#include "monitor/UtilsPelSerialPortsValue.h"
#include "support/PseudoTerminal.h"
#include "support/SimulatedMonitor.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QDBusConnection>
#include <QMainWindow>
#include <QSlider>
#include <climits>
#include <memory>
#include <ostream>

// Frames and messages print as text in failures.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace ostrel::test {
namespace {

constexpr int kQuietMs = 450;  // longer than the command spacing: a frame that would come, came

// The frame Ostrel writes for a command: 5FF5 CC PP 000000000000 A0FA.

class ControlServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    controller_ = std::make_shared<ViewController>();
    controller_->viewDidLoad();
    controller_->window()->show();
    service_ = std::make_unique<OstrelControlService>();
    ASSERT_EQ(SingleInstance::claim(*service_, QDBusConnection::sessionBus()), InstanceRole::Primary);
    service_->setTarget(std::make_shared<MainWindowControlTarget>(controller_));
    client_ = std::make_unique<BusTestClient>();
  }

  static void TearDownTestSuite() {
    client_.reset();
    service_.reset();
    sim_.reset();
    VCInstance.reset();
    mainViewController.reset();
    controller_.reset();
  }

  void SetUp() override { ASSERT_NO_FATAL_FAILURE(useMonitor(48)); }

  // Makes a monitor of this MCU version the current one, with its read-back
  // over and the command queue idle.
  static void useMonitor(int mcu) {
    if (sim_ && simMcu_ == mcu && ControlSnapshot::capture().monitorReady() && currentMCUVersion == mcu) {
      waitForIdleQueue();
      return;
    }
    if (sim_) {
      sim_->stop();
      ASSERT_TRUE(spinUntil([] { return caluPortsArr->isEmpty(); }, 15000)) << "the old monitor did not leave";
    }
    static int serial = 0;
    const QString name = QStringLiteral("ctl-sim%1").arg(serial++);
    sim_ = std::make_unique<SimulatedMonitor>(mcu, name);
    simMcu_ = mcu;
    QString error;
    ASSERT_TRUE(sim_->start(&error)) << error.toStdString();
    ASSERT_TRUE(spinUntil(
        [&name] {
          const ControlSnapshot s = ControlSnapshot::capture();
          return s.monitorReady() && s.currentMonitorName() == name;
        },
        20000))
        << "the monitor was not accepted";
    ASSERT_EQ(currentMCUVersion, mcu);
    waitForIdleQueue();
  }

  // Everything queued so far (read-backs, contrast steps) has gone out and
  // been answered.
  static void waitForIdleQueue() {
    bool idle = false;
    controller_->utlsPorts()->runPacedSequence({{[&idle] { idle = true; }, 0}});
    ASSERT_TRUE(spinUntil([&idle] { return idle; }, 20000));
    spinFor(100);
  }

  static QStringList framesFrom(std::size_t from) {
    QStringList out;
    const std::vector<ReceivedFrame> all = sim_->frames();
    for (std::size_t i = from; i < all.size(); ++i) out << QString::fromLatin1(all[i].text);
    return out;
  }

  static std::shared_ptr<ViewController> controller_;
  static std::unique_ptr<OstrelControlService> service_;
  static std::unique_ptr<BusTestClient> client_;
  static std::unique_ptr<SimulatedMonitor> sim_;
  static int simMcu_;
};

std::shared_ptr<ViewController> ControlServiceTest::controller_;
std::unique_ptr<OstrelControlService> ControlServiceTest::service_;
std::unique_ptr<BusTestClient> ControlServiceTest::client_;
std::unique_ptr<SimulatedMonitor> ControlServiceTest::sim_;
int ControlServiceTest::simMcu_ = 0;

struct MethodCase {
  const char* method;
  QVariantList arguments;
  QStringList frames;
  std::function<void(ViewController&)> check;  // the window and MonitorState afterwards
};

TEST_F(ControlServiceTest, EveryMethodSendsTheWindowsFrames) {
  const MethodCase cases[] = {
      {"Refresh", {}, {f(3, 1)}, nullptr},
      {"SyncTime", {}, {f(5, 0)}, nullptr},
      {"SetContrast",
       {5},
       {f(1, 5)},
       [](ViewController& vc) {
         EXPECT_EQ(vc.thresholdInfo()->currentIndex(), 4);
         EXPECT_EQ(currentThresholdValue, 4);
       }},
      {"SetImageMode",
       {4},
       {f(2, 4)},
       [](ViewController& vc) {
         EXPECT_EQ(vc.modeInfo()->currentIndex(), 2);
         EXPECT_EQ(currentModeValue, 2);
       }},
      {"SetRefreshSpeed",
       {2},
       {f(4, 2)},
       [](ViewController& vc) {
         EXPECT_EQ(vc.speedInfo()->currentIndex(), 1);
         EXPECT_EQ(currentSpeedValue, 1);
       }},
      {"SetFrontLightMode",
       {3},
       {f(7, 3)},
       [](ViewController& vc) {
         EXPECT_EQ(vc.frontLightModeInfo()->currentIndex(), 3);
         EXPECT_EQ(currentFrontLightModeValue, 3);
         EXPECT_TRUE(vc.frontModeBrightnessInfo()->isEnabled());
         EXPECT_TRUE(vc.frontModeTemperatureInfo()->isEnabled());
       }},
      {"SetFrontLightMode",
       {2},
       {f(7, 2)},
       [](ViewController& vc) {
         EXPECT_TRUE(vc.frontModeBrightnessInfo()->isEnabled());
         EXPECT_FALSE(vc.frontModeTemperatureInfo()->isEnabled());
       }},
      {"SetBrightness",
       {80},
       {f(9, 80)},
       [](ViewController& vc) {
         EXPECT_EQ(vc.frontModeBrightnessInfo()->value(), 80);
         EXPECT_EQ(currentFrontBrightnessValue, 80);
       }},
      // The slider already shows 80; the caller still asked for it to be sent.
      {"SetBrightness", {80}, {f(9, 80)}, nullptr},
      {"SetTemperature",
       {30},
       {f(8, 30)},
       [](ViewController& vc) {
         EXPECT_EQ(vc.frontModeTemperatureInfo()->value(), 30);
         EXPECT_EQ(currentFrontTemperatureValue, 30);
       }},
      {"SetContrast", {9}, {f(1, 9)}, nullptr},
      // The shortcut's step: 9 wraps to 1, then the contrast is read back.
      {"ContrastUp", {}, {f(1, 1), f(10, 1)}, [](ViewController&) { EXPECT_EQ(currentThresholdValue, 0); }},
      {"ContrastDown",
       {},
       {f(1, 9), f(10, 1)},
       [](ViewController& vc) {
         EXPECT_EQ(currentThresholdValue, 8);
         // The monitor's report of 9 selects it, as after a shortcut.
         EXPECT_EQ(vc.thresholdInfo()->currentIndex(), 8);
       }},
      {"ContrastDown", {}, {f(1, 8), f(10, 1)}, nullptr},
      {"ReadParameters", {}, {f(10, 1), f(10, 2), f(10, 4), f(10, 7), f(10, 9), f(10, 8)}, nullptr},
  };
  for (const MethodCase& c : cases) {
    SCOPED_TRACE(c.method);
    const std::size_t from = sim_->frameCount();
    const QDBusMessage reply = client_->call(QString::fromLatin1(c.method), c.arguments);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    // Methods with paced frames answer once the frames are out.
    if (c.frames.size() > 1) {
      ASSERT_TRUE(spinUntil([&] { return sim_->frameCount() >= from + c.frames.size() - 1; }, 1000))
          << "answered before its frames went out";
    }
    ASSERT_TRUE(spinUntil([&] { return sim_->frameCount() >= from + c.frames.size(); }, 10000));
    spinFor(kQuietMs);
    EXPECT_EQ(framesFrom(from), c.frames);
    if (c.check) c.check(*controller_);
  }
}

struct RefusedCase {
  const char* method;
  qint64 value;
  const char* message;
};

TEST_F(ControlServiceTest, OutOfRangeValuesAreRefusedAndNothingIsSent) {
  const RefusedCase cases[] = {
      {"SetContrast", 0, "contrast must be 1..9, not 0; nothing was sent"},
      {"SetContrast", 10, "contrast must be 1..9, not 10; nothing was sent"},
      {"SetContrast", INT_MIN, "contrast must be 1..9, not -2147483648; nothing was sent"},
      {"SetImageMode", 1, "image mode must be 2..4, not 1; nothing was sent"},
      {"SetImageMode", 5, "image mode must be 2..4, not 5; nothing was sent"},
      {"SetRefreshSpeed", 0, "refresh speed must be 1..5, not 0; nothing was sent"},
      {"SetRefreshSpeed", 6, "refresh speed must be 1..5, not 6; nothing was sent"},
      {"SetFrontLightMode", -1, "front light mode must be 0..3, not -1; nothing was sent"},
      {"SetFrontLightMode", 4, "front light mode must be 0..3, not 4; nothing was sent"},
      {"SetBrightness", -1, "brightness must be 0..100, not -1; nothing was sent"},
      {"SetBrightness", 101, "brightness must be 0..100, not 101; nothing was sent"},
      {"SetTemperature", 256, "temperature must be 0..100, not 256; nothing was sent"},
      {"SetTemperature", INT_MAX, "temperature must be 0..100, not 2147483647; nothing was sent"},
  };
  const std::size_t from = sim_->frameCount();
  const ControlSnapshot before = ControlSnapshot::capture();
  const int contrastShown = controller_->thresholdInfo()->currentIndex();
  const int brightnessShown = controller_->frontModeBrightnessInfo()->value();
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.method);
    const QDBusMessage reply =
        client_->call(QString::fromLatin1(c.method), {QVariant::fromValue<int>(static_cast<int>(c.value))});
    ASSERT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(reply.errorName(), OstrelBusErrorOutOfRange);
    EXPECT_EQ(reply.errorMessage(), QString::fromLatin1(c.message));
  }
  // A value of the wrong type, or one too many, never reaches the window.
  for (const QVariantList& wrong : {QVariantList{QStringLiteral("5")}, QVariantList{5, 6}, QVariantList{}}) {
    const QDBusMessage reply = client_->call(QStringLiteral("SetContrast"), wrong);
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
  }
  spinFor(kQuietMs);
  EXPECT_EQ(framesFrom(from), QStringList{});
  EXPECT_TRUE(ControlSnapshot::capture() == before);
  EXPECT_EQ(controller_->thresholdInfo()->currentIndex(), contrastShown);
  EXPECT_EQ(controller_->frontModeBrightnessInfo()->value(), brightnessShown);
}

TEST_F(ControlServiceTest, PropertiesFollowTheMonitorsReports) {
  const QVariantMap all = client_->allProperties();
  EXPECT_EQ(all.value(QStringLiteral("Monitors")).toStringList(), QStringList{sim_->linkPath().section('/', -1)});
  EXPECT_EQ(all.value(QStringLiteral("CurrentMonitor")).toString(), sim_->linkPath().section('/', -1));
  EXPECT_EQ(all.value(QStringLiteral("MCUVersion")).toInt(), 48);
  // The monitor's nine, PortReasons, Version, StartAtLogin, DesktopServices and AutoClear.
  EXPECT_EQ(all.size(), 14);
  EXPECT_TRUE(all.contains(QStringLiteral("DesktopServices")));
  // Every port the search looked at, with what it did: here the monitor only.
  const auto ports =
      qdbus_cast<QList<PortProbeReport>>(all.value(QStringLiteral("PortReasons")).value<QDBusArgument>());
  ASSERT_EQ(ports.size(), 1);
  EXPECT_EQ(ports.front().path, sim_->linkPath());
  EXPECT_EQ(ports.front().reason, QStringLiteral("probed"));

  PropertiesChangedRecorder recorder(client_->connection());
  spinFor(100);  // the match rule reaches the bus
  struct ReportCase {
    const char* console;  // what the monitor's own menu does; it announces the value
    const char* property;
    int value;
  };
  const ReportCase cases[] = {
      {"set contrast 7", "Contrast", 7},       {"set mode 3", "ImageMode", 3},
      {"set speed 5", "RefreshSpeed", 5},      {"set light 1", "FrontLightMode", 1},
      {"set brightness 33", "Brightness", 33}, {"set temperature 66", "Temperature", 66},
      {"set contrast 2", "Contrast", 2},
  };
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.console);
    const std::size_t from = recorder.count();
    ASSERT_TRUE(sim_->command(c.console));
    ASSERT_TRUE(recorder.waitFor(QString::fromLatin1(c.property), c.value, from, 10000));
    EXPECT_EQ(client_->property(QString::fromLatin1(c.property)).toInt(), c.value);
    // Only what changed is announced.
    for (std::size_t i = from; i < recorder.count(); ++i) {
      EXPECT_EQ(recorder.changes()[i].keys(), QStringList{QString::fromLatin1(c.property)});
    }
  }
  // A change the window makes is announced as well.
  const std::size_t from = recorder.count();
  ASSERT_EQ(client_->call(QStringLiteral("SetContrast"), {4}).type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(recorder.waitFor(QStringLiteral("Contrast"), 4, from, 5000));
}

TEST_F(ControlServiceTest, WithoutAMonitorEveryMonitorMethodIsRefused) {
  PropertiesChangedRecorder recorder(client_->connection());
  spinFor(100);
  const std::size_t changesBefore = recorder.count();
  ASSERT_TRUE(sim_->unplug());
  ASSERT_TRUE(recorder.waitFor(QStringLiteral("Monitors"), QStringList{}, changesBefore, 10000));
  EXPECT_EQ(client_->property(QStringLiteral("CurrentMonitor")).toString(), QString());

  const ControlSnapshot before = ControlSnapshot::capture();
  const struct {
    const char* method;
    QVariantList arguments;
  } calls[] = {{"Refresh", {}},         {"ContrastUp", {}},       {"ContrastDown", {}},       {"SetContrast", {3}},
               {"SetImageMode", {3}},   {"SetRefreshSpeed", {3}}, {"SetFrontLightMode", {1}}, {"SetBrightness", {9}},
               {"SetTemperature", {9}}, {"SyncTime", {}},         {"ReadParameters", {}}};
  for (const auto& c : calls) {
    SCOPED_TRACE(c.method);
    const QDBusMessage reply = client_->call(QString::fromLatin1(c.method), c.arguments);
    ASSERT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(reply.errorName(), OstrelBusErrorNoMonitor);
    EXPECT_EQ(reply.errorMessage(), QStringLiteral("no monitor is connected; nothing was sent"));
  }
  EXPECT_TRUE(ControlSnapshot::capture() == before);

  // Plugged back in, it is found again and takes commands.
  const std::size_t from = sim_->frameCount();
  ASSERT_TRUE(sim_->command("replug"));
  ASSERT_TRUE(spinUntil([] { return ControlSnapshot::capture().monitorReady(); }, 20000));
  waitForIdleQueue();
  const std::size_t afterReadBack = sim_->frameCount();
  ASSERT_GT(afterReadBack, from);
  ASSERT_EQ(client_->call(QStringLiteral("Refresh")).type(), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(spinUntil([&] { return sim_->frameCount() > afterReadBack; }, 5000));
  EXPECT_EQ(framesFrom(afterReadBack), QStringList{f(3, 1)});
}

TEST_F(ControlServiceTest, ACommandTheMonitorsLineDoesNotTakeIsAWriteFailedError) {
  // The simulated monitor goes; one whose line the test holds takes its place.
  sim_->stop();
  ASSERT_TRUE(spinUntil([] { return caluPortsArr->isEmpty(); }, 15000));
  sim_.reset();
  PseudoTerminal line;
  const QString link = line.publish(QStringLiteral("ctl-stalling"));
  ASSERT_FALSE(link.isEmpty());
  QByteArray asked;
  ASSERT_TRUE(spinUntil([&] { return (asked += line.read(24, 5)) == f(10, 16).toLatin1(); }, 20000)) << asked.data();
  ASSERT_TRUE(line.write("5FF5F00A101000000000A0FA"));
  ASSERT_TRUE(spinUntil([] { return ControlSnapshot::capture().currentMonitorName() == "ctl-stalling"; }, 20000));
  waitForIdleQueue();
  line.readAvailable();

  // It stops taking data: every request says its command did not get through.
  ASSERT_TRUE(line.setOutputStopped(true));
  for (const char* method : {"Refresh", "ContrastUp"}) {  // at once, and paced
    SCOPED_TRACE(method);
    EXPECT_EQ(client_->call(QString::fromLatin1(method)).errorName(), OstrelBusErrorWriteFailed);
  }
  EXPECT_TRUE(ControlSnapshot::capture().monitorReady()) << "a stalled line is not an unplugged monitor";
  ASSERT_TRUE(line.setOutputStopped(false));
  line.closeMaster();
  ASSERT_TRUE(spinUntil([] { return caluPortsArr->isEmpty(); }, 15000));
}

TEST_F(ControlServiceTest, FrontLightMethodsNeedAMonitorWithAFrontLight) {
  ASSERT_NO_FATAL_FAILURE(useMonitor(16));
  const QString name = sim_->linkPath().section('/', -1);
  const std::size_t from = sim_->frameCount();
  for (const char* method : {"SetFrontLightMode", "SetBrightness", "SetTemperature"}) {
    SCOPED_TRACE(method);
    const QDBusMessage reply = client_->call(QString::fromLatin1(method), {1});
    ASSERT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(reply.errorName(), OstrelBusErrorNotSupported);
    EXPECT_EQ(reply.errorMessage(),
              QStringLiteral("the monitor %1 (MCU version 16) has no front light; nothing was sent").arg(name));
  }
  // The rest works as on any monitor; ReadParameters asks what a version 16 has.
  ASSERT_EQ(client_->call(QStringLiteral("SetContrast"), {3}).type(), QDBusMessage::ReplyMessage);
  ASSERT_EQ(client_->call(QStringLiteral("ReadParameters")).type(), QDBusMessage::ReplyMessage);
  spinFor(kQuietMs);
  EXPECT_EQ(framesFrom(from), (QStringList{f(1, 3), f(10, 1), f(10, 2), f(10, 4)}));
}

TEST_F(ControlServiceTest, ActivateBringsTheWindowBack) {
  QMainWindow* window = controller_->window();
  window->hide();
  ASSERT_FALSE(window->isVisible());
  ASSERT_EQ(client_->call(QStringLiteral("Activate")).type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(spinUntil([window] { return window->isActiveWindow(); }, 5000));
}

TEST_F(ControlServiceTest, BeforeTheWindowExistsCallsAreRefusedAndActivateWaits) {
  // A second service on a connection of its own stands for an Ostrel that has
  // published itself but not yet made its window.
  BusTestClient early(QStringLiteral("ostrel-test-early"));
  OstrelControlService starting;
  ASSERT_TRUE(starting.publish(early.connection()));
  const QString address = early.connection().baseService();

  const std::size_t from = sim_->frameCount();
  const QDBusMessage refused = client_->call(QStringLiteral("Refresh"), {}, address);
  ASSERT_EQ(refused.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(refused.errorName(), OstrelBusErrorNoMonitor);
  EXPECT_EQ(refused.errorMessage(), QStringLiteral("Ostrel is still starting; nothing was sent"));

  QMainWindow* window = controller_->window();
  window->hide();
  ASSERT_EQ(client_->call(QStringLiteral("Activate"), {}, address).type(), QDBusMessage::ReplyMessage);
  EXPECT_FALSE(window->isVisible());
  starting.setTarget(std::make_shared<MainWindowControlTarget>(controller_));
  EXPECT_TRUE(window->isVisible());
  spinFor(kQuietMs);
  EXPECT_EQ(framesFrom(from), QStringList{});
  starting.unpublish();
}

TEST(SingleInstanceTest, WithoutASessionBusOstrelGoesOnAndSaysSoOnce) {
  QDBusConnection nowhere =
      QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/ostrel-bus"), QStringLiteral("nowhere"));
  ASSERT_FALSE(nowhere.isConnected());
  LogCapture log;
  OstrelControlService service;
  const InstanceRole role = SingleInstance::claim(service, nowhere);
  EXPECT_EQ(role, InstanceRole::PrimaryWithoutBus);
  EXPECT_EQ(SingleInstance::exitStatus(role), std::nullopt);
  EXPECT_FALSE(service.isPublished());
  ASSERT_EQ(log.lines().size(), 1);
  EXPECT_TRUE(log.lines().front().startsWith(QStringLiteral("No session bus (")));
  EXPECT_TRUE(
      log.lines().front().endsWith(QStringLiteral("): ostrelctl and a second launch cannot reach this Ostrel")));
  QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

}  // namespace
}  // namespace ostrel::test
