#include "MainWindowHarness.h"

#include "MonitorStateReset.h"

#include "common/Log.h"
#include "monitor/MonitorState.h"
#include "platform/InputInjector.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortManager.h"
#include "settings/ProgramValues.h"
#include "support/EventLoopWait.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <atomic>

namespace ostrel::test {

QByteArray parameterReport(int identifier, int value) {
  return "5FF5F00A" + hexByte(identifier) + hexByte(value) + "00000000A0FA";
}

void resetProcessState() {
  test::resetMonitorState();
  VCInstance.reset();
  CurrentLanguage = 0;
}

QString uniqueMonitorName() {
  static std::atomic<int> next{0};
  return QStringLiteral("mw-sim%1").arg(next++);
}

LoadedWindow::LoadedWindow(std::shared_ptr<platform::InputInjector> injector)
    : controller_(std::make_shared<ViewController>(std::move(injector))) {
  controller_->viewDidLoad();
}

LoadedWindow::~LoadedWindow() {
  controller_->setAutoClearGhostDelay(0);
  controller_->window()->hide();
  // The process-wide references keep the controller alive; the next test
  // starts without it.
  resetProcessState();
  // Let queued work that still names the controller run out.
  runEventLoopFor(50);
}

std::vector<ReceivedFrame> waitForFrames(SimulatedMonitor& monitor, std::size_t count,
                                         std::chrono::milliseconds timeout) {
  runEventLoopUntil([&] { return monitor.frameCount() >= count; }, static_cast<int>(timeout.count()));
  return monitor.frames();
}

std::optional<std::size_t> waitForFrameWhileRunning(SimulatedMonitor& monitor, const QByteArray& frame,
                                                    std::size_t from, std::chrono::milliseconds timeout) {
  std::optional<std::size_t> found;
  runEventLoopUntil(
      [&] {
        const std::vector<ReceivedFrame> all = monitor.frames();
        for (std::size_t i = from; i < all.size(); ++i) {
          if (all[i].text == frame) {
            found = i;
            return true;
          }
        }
        return false;
      },
      static_cast<int>(timeout.count()));
  return found;
}

QList<QByteArray> frameTexts(const std::vector<ReceivedFrame>& frames, std::size_t from) {
  QList<QByteArray> out;
  for (std::size_t i = from; i < frames.size(); ++i) out << frames[i].text;
  return out;
}

bool waitUntilListed(const SimulatedMonitor& monitor) {
  return runEventLoopUntil(
      [&] {
        for (const auto& port : PelSerialPortManager::sharedSerialPortManager().availablePorts())
          if (port->path() == monitor.linkPath()) return true;
        return false;
      },
      10000);
}

bool loadWithMonitor(SimulatedMonitor& monitor, std::unique_ptr<LoadedWindow>& window, QString* error,
                     std::shared_ptr<platform::InputInjector> injector) {
  if (!monitor.start(error)) return false;
  if (!waitUntilListed(monitor)) {
    if (error) *error = QStringLiteral("the port manager did not list %1").arg(monitor.linkPath());
    return false;
  }
  LogCapture log(false);
  window = std::make_unique<LoadedWindow>(std::move(injector));
  // The last answer of a read-back: temperature for a front-light monitor,
  // the refresh speed for the others.
  const auto shown = [&] {
    for (const QString& line : log.lines()) {
      if (currentMCUVersion == 48 ? line.startsWith(QStringLiteral("updateViewFrontTemperatureValueDisplay"))
                                  : line.startsWith(QStringLiteral("updateViewSpeedDisplay")))
        return true;
    }
    return false;
  };
  if (!runEventLoopUntil(shown, 30000)) {
    if (error) {
      *error = QStringLiteral("the monitor's read-back did not finish; frames: %1; simulator: %2")
                   .arg(QString::fromLatin1(frameTexts(monitor.frames()).join(' ')),
                        monitor.diagnostics().join(QLatin1Char('\n')));
    }
    return false;
  }
  // Load's own settling step must be over too, so that later frames are the test's.
  runEventLoopUntil(
      [&] { return log.contains(QStringLiteral("updateMainViewContent ***************************************")); },
      10000);
  return true;
}

}  // namespace ostrel::test
