#include "MonitorState.h"

#include "monitor/PelSerialPortHelper.h"
#include "monitor/ViewControllerInterface.h"

namespace ostrel {

std::int32_t currentThresholdValue = 0;
std::int32_t currentModeValue = 0;
std::int32_t currentSpeedValue = 0;
std::int32_t currentFrontLightModeValue = 0;
std::int32_t currentFrontBrightnessValue = 0;
std::int32_t currentFrontTemperatureValue = 0;
std::int32_t currentMCUVersion = 0;

std::shared_ptr<QList<PelSerialPortRef>> caluPortsArr = std::make_shared<QList<PelSerialPortRef>>();
AtomicPortReference currentPort;
std::shared_ptr<ViewControllerInterface> mainViewController;
std::shared_ptr<PelSerialPortHelper> serialPortHelper;
QList<PortProbeReport> portProbeReports;

}  // namespace ostrel
