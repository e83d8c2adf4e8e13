#pragma once
// The delegate of every port that discovery opens: decodes what the monitor
// says and keeps the monitor list in step with removals.
//
// Decoding (serialPortDidReceiveData): each port's bytes go through their own
// MonitorMessageReassembler, so a message split over reads is put back together
// and every message in a read is acted on. Each message is routed by its command:
// setting notices and parameter reports to the main window's display handlers,
// an MCU version report of 16, 32 or 48 makes the port an accepted monitor
// (appended to caluPortsArr, then the onAccepted callback,
// updateViewCurrentMCUVersion and updateMainViewContent), input events to the
// main window's input handlers. Anything else is logged and left alone.
// A setting value outside its range (MonitorProtocol.h) is not a value the
// monitor can have: it is logged and goes no further.
// A port listed already when the pass began (setAlreadyListed) is not listed a
// second time by its first answer in the pass; the answer does the rest.
//
// Removal: every entry equal to the port leaves caluPortsArr, the main window
// refreshes, serialPort is cleared and the port's unfinished bytes are dropped.
// A listed port that closes for any other reason takes the same way out, so the
// window never shows a monitor it can no longer reach.
//
// All operations run on the main thread (as every delegate call does).

#include "monitor/MonitorMessageReassembler.h"
#include "serial/PelSerialPortDelegate.h"
#include "serial/PelSerialPortInterface.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <functional>

namespace ostrel {

class PelSerialPortHelper final : public PelSerialPortDelegate {
 public:
  // The port discovery is probing; the decoder itself works on the port passed
  // with each chunk.
  PelSerialPortRef serialPort() const { return serialPort_; }
  void setSerialPort(PelSerialPortRef port) { serialPort_ = std::move(port); }

  void setAlreadyListed(QSet<QString> paths) { alreadyListed_ = std::move(paths); }
  void setOnAccepted(std::function<void(const PelSerialPortRef&)> onAccepted) { onAccepted_ = std::move(onAccepted); }

  bool respondsTo(PelSerialPortDelegateOperation operation) const override;
  void serialPortWasRemovedFromSystem(const PelSerialPortRef& port) override;
  void serialPortDidReceiveData(const PelSerialPortRef& port, const QByteArray& data) override;
  void serialPortDidEncounterError(const PelSerialPortRef& port, const PelPosixError& error) override;
  void serialPortWasOpened(const PelSerialPortRef& port) override;
  void serialPortWasClosed(const PelSerialPortRef& port) override;

  // Bytes of an unfinished message held for the port (0 for an unknown port).
  qsizetype bufferedByteCount(const PelSerialPortRef& port) const;

 private:
  void route(const PelSerialPortRef& port, const MonitorMessage& message);
  void routeParameterReport(const PelSerialPortRef& port, const MonitorMessage& message);
  void routeInputEvent(std::uint8_t event);
  void acceptMCUVersion(const PelSerialPortRef& port, std::int32_t version);
  void showSetting(std::int32_t command, std::int32_t identifier, std::int32_t value);

  PelSerialPortRef serialPort_;
  QHash<QString, MonitorMessageReassembler> reassemblers_;  // by port path
  QSet<QString> alreadyListed_;
  std::function<void(const PelSerialPortRef&)> onAccepted_;
};

}  // namespace ostrel
