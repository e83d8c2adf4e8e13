#include "MonitorTestSupport.h"

#include "monitor/MonitorState.h"
#include "monitor/PelSerialPortHelper.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace ostrel::test {

void resetMonitorState() {
  currentThresholdValue = 0;
  currentModeValue = 0;
  currentSpeedValue = 0;
  currentFrontLightModeValue = 0;
  currentFrontBrightnessValue = 0;
  currentFrontTemperatureValue = 0;
  currentMCUVersion = 0;
  caluPortsArr = std::make_shared<QList<PelSerialPortRef>>();
  currentPort.reset();
  mainViewController.reset();
  serialPortHelper.reset();
  portProbeReports.clear();
}

CleanMonitorState::CleanMonitorState() { resetMonitorState(); }
CleanMonitorState::~CleanMonitorState() {
  // Leftover queued deliveries must not reach the next test.
  QCoreApplication::processEvents();
  resetMonitorState();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

void spinFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
}

}  // namespace ostrel::test
