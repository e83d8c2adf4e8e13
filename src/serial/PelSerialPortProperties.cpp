// PelSerialPort's properties: the device, the line settings and the modem
// lines, each under the port's lock; a change to an open port is applied at once.

#include "common/Log.h"
#include "common/MainThread.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortSession.h"

#include <functional>
#include <mutex>

namespace ostrel {

QString PelSerialPort::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

QString PelSerialPort::path() const {
  std::lock_guard lock(mutex_);
  return path_;
}

std::shared_ptr<PelSerialPortDelegate> PelSerialPort::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void PelSerialPort::setDelegate(const std::weak_ptr<PelSerialPortDelegate>& delegate) {
  {
    std::lock_guard lock(mutex_);
    delegate_ = delegate;
  }
  observers_.announce(PelSerialPortProperty::Delegate);
}

platform::SerialDeviceEntry PelSerialPort::IOKitDevice() const {
  std::lock_guard lock(mutex_);
  return IOKitDevice_;
}

void PelSerialPort::setIoKitDevice(const platform::SerialDeviceEntry& device) {
  std::lock_guard lock(mutex_);
  IOKitDevice_ = device;
}

QString PelSerialPort::adapterIdentity() const {
  std::lock_guard lock(mutex_);
  return IOKitDevice_.adapterIdentity.isEmpty() ? QStringLiteral("path:") + path_ : IOKitDevice_.adapterIdentity;
}

platform::TerminalAttributes PelSerialPort::originalPortAttributes() const {
  std::lock_guard lock(mutex_);
  return originalPortAttributes_;
}

bool PelSerialPort::isOpen() const {
  return fileDescriptor_.load() != 0;
}

void PelSerialPort::setFileDescriptor(int fd) {
  fileDescriptor_.store(fd);
  observers_.announce(PelSerialPortProperty::FileDescriptor);
  observers_.announce(PelSerialPortProperty::IsOpen);
}

PelSerialPortObservers::Token PelSerialPort::addObserver(PelSerialPortProperty property,
                                                         PelSerialPortObservers::Callback callback) {
  return observers_.add(property, std::move(callback));
}

void PelSerialPort::removeObserver(PelSerialPortObservers::Token token) {
  observers_.remove(token);
}

std::uint64_t PelSerialPort::baudRate() const {
  std::lock_guard lock(mutex_);
  return baudRate_;
}

std::uint64_t PelSerialPort::numberOfStopBits() const {
  std::lock_guard lock(mutex_);
  return numberOfStopBits_;
}

std::uint64_t PelSerialPort::numberOfDataBits() const {
  std::lock_guard lock(mutex_);
  return numberOfDataBits_;
}

std::uint64_t PelSerialPort::parity() const {
  std::lock_guard lock(mutex_);
  return parity_;
}

bool PelSerialPort::shouldEchoReceivedData() const {
  std::lock_guard lock(mutex_);
  return shouldEchoReceivedData_;
}

bool PelSerialPort::allowsNonStandardBaudRates() const {
  std::lock_guard lock(mutex_);
  return allowsNonStandardBaudRates_;
}

bool PelSerialPort::usesRTSCTSFlowControl() const {
  std::lock_guard lock(mutex_);
  return usesRTSCTSFlowControl_;
}

bool PelSerialPort::usesDTRDSRFlowControl() const {
  std::lock_guard lock(mutex_);
  return usesDTRDSRFlowControl_;
}

bool PelSerialPort::usesDCDOutputFlowControl() const {
  std::lock_guard lock(mutex_);
  return usesDCDOutputFlowControl_;
}

bool PelSerialPort::RTS() const {
  std::lock_guard lock(mutex_);
  return RTS_;
}

bool PelSerialPort::DTR() const {
  std::lock_guard lock(mutex_);
  return DTR_;
}

namespace {
// Stores value into field under the lock; true when it changed.
template <typename T>
bool storeIfChanged(std::mutex& mutex, T& field, T value) {
  std::lock_guard lock(mutex);
  if (field == value) return false;
  field = value;
  return true;
}
}  // namespace

void PelSerialPort::setBaudRate(std::uint64_t baudRate) {
  if (!storeIfChanged(mutex_, baudRate_, baudRate)) return;
  observers_.announce(PelSerialPortProperty::BaudRate);
  setPortOptions();
}

void PelSerialPort::setNumberOfStopBits(std::uint64_t stopBits) {
  if (!storeIfChanged(mutex_, numberOfStopBits_, stopBits)) return;
  observers_.announce(PelSerialPortProperty::NumberOfStopBits);
  setPortOptions();
}

void PelSerialPort::setNumberOfDataBits(std::uint64_t dataBits) {
  if (!storeIfChanged(mutex_, numberOfDataBits_, dataBits)) return;
  observers_.announce(PelSerialPortProperty::NumberOfDataBits);
  setPortOptions();
}

void PelSerialPort::setParity(std::uint64_t parity) {
  if (!storeIfChanged(mutex_, parity_, parity > kParityEven ? kParityNone : parity)) return;
  observers_.announce(PelSerialPortProperty::Parity);
  setPortOptions();
}

void PelSerialPort::setShouldEchoReceivedData(bool echo) {
  if (!storeIfChanged(mutex_, shouldEchoReceivedData_, echo)) return;
  observers_.announce(PelSerialPortProperty::ShouldEchoReceivedData);
  setPortOptions();
}

void PelSerialPort::setAllowsNonStandardBaudRates(bool allows) {
  if (!storeIfChanged(mutex_, allowsNonStandardBaudRates_, allows)) return;
  observers_.announce(PelSerialPortProperty::AllowsNonStandardBaudRates);
}

void PelSerialPort::setUsesRTSCTSFlowControl(bool uses) {
  changeFlowControl([&] { return storeIfChanged(mutex_, usesRTSCTSFlowControl_, uses); },
                    PelSerialPortProperty::UsesRTSCTSFlowControl);
}

void PelSerialPort::setUsesDTRDSRFlowControl(bool uses) {
  changeFlowControl([&] { return storeIfChanged(mutex_, usesDTRDSRFlowControl_, uses); },
                    PelSerialPortProperty::UsesDTRDSRFlowControl);
}

void PelSerialPort::setUsesDCDOutputFlowControl(bool uses) {
  changeFlowControl([&] { return storeIfChanged(mutex_, usesDCDOutputFlowControl_, uses); },
                    PelSerialPortProperty::UsesDCDOutputFlowControl);
}

void PelSerialPort::changeFlowControl(const std::function<bool()>& store, PelSerialPortProperty property) {
  // Only a real change closes the port.
  const std::shared_ptr<Session> session = currentSession();
  if (!session) {
    if (store()) {
      observers_.announce(property);
      setPortOptions();
    }
    return;
  }
  if (!store()) return;
  // Handshake lines are settled while the device is closed: reopen once the
  // close has completed, with the new setting, from the main thread (the port
  // thread that runs this cannot wait for its own end).
  std::weak_ptr<PelSerialPortInterface> weakSelf = weak_from_this();
  auto reopen = [weakSelf] {
    mainthread::post([weakSelf] {
      if (auto self = std::static_pointer_cast<PelSerialPort>(weakSelf.lock())) self->open();
    });
  };
  bool alreadyClosed = false;
  {
    std::lock_guard lock(session->afterCloseMutex);
    if (session->closed)
      alreadyClosed = true;
    else
      session->afterClose.push_back(reopen);
  }
  observers_.announce(property);
  close();
  setPortOptions();
  if (alreadyClosed) reopen();
}

void PelSerialPort::setRTS(bool rts) {
  if (!storeIfChanged(mutex_, RTS_, rts)) return;
  observers_.announce(PelSerialPortProperty::RTS);
  updateModemLines();
}

void PelSerialPort::setDTR(bool dtr) {
  if (!storeIfChanged(mutex_, DTR_, dtr)) return;
  observers_.announce(PelSerialPortProperty::DTR);
  updateModemLines();
}

void PelSerialPort::setCTS(bool cts) {
  if (CTS_.exchange(cts) != cts) observers_.announce(PelSerialPortProperty::CTS);
}

void PelSerialPort::setDSR(bool dsr) {
  if (DSR_.exchange(dsr) != dsr) observers_.announce(PelSerialPortProperty::DSR);
}

void PelSerialPort::setDCD(bool dcd) {
  if (DCD_.exchange(dcd) != dcd) observers_.announce(PelSerialPortProperty::DCD);
}

platform::TerminalLineSettings PelSerialPort::lineSettings() const {
  std::lock_guard lock(mutex_);
  platform::TerminalLineSettings s;
  s.baudRate = baudRate_;
  s.dataBits = numberOfDataBits_ > 8 ? 0u : static_cast<unsigned>(numberOfDataBits_);
  s.parity = parity_ == kParityOdd    ? platform::TerminalParity::Odd
             : parity_ == kParityEven ? platform::TerminalParity::Even
                                      : platform::TerminalParity::None;
  s.stopBits = numberOfStopBits_ >= 2 ? 2u : 1u;
  s.echo = shouldEchoReceivedData_;
  s.rtsCtsFlowControl = usesRTSCTSFlowControl_;
  s.allowNonStandardBaudRate = allowsNonStandardBaudRates_;
  return s;
}

}  // namespace ostrel
