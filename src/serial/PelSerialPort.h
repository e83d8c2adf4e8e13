#pragma once
// One serial device: opening with the monitor's line settings, modem lines,
// removal, closing, the data path, requests and packet listening.
//
// Creation: ports are shared objects made only by the class operations below.
// A live port registers itself and leaves allSerialPorts() when destroyed;
// serialPortWithDevice() hands back the live port for a device that already has
// one (same path, same registry identity), unless that port's device was
// removed from the system since it was last opened.
//
// Threads:
//  - open() runs on the caller's thread; while open, one port thread (named
//    "ostrel-port") waits on the device (poll with a wake-up event, no periodic
//    wake-ups unless the device has readable modem lines, which are then
//    sampled every 10 ms), reads it, notices removal and performs the final
//    close. It holds the port alive.
//  - close() may be called from any thread and never waits: it asks the port
//    thread to finish, which drains output for at most 300 ms, throws away the
//    rest, restores the original settings without waiting and closes; the
//    delegate hears serialPortWasClosed once that is done (within ~500 ms).
//  - open() on a port whose close is still under way waits for that close to
//    finish (it is bounded) and then opens.
//  - waitUntilClosed() waits for the end of the port thread of the last open
//    and joins it. On the main thread it runs the delegate calls that thread
//    hands over meanwhile, so the two never wait for each other.
//  - closeAllAndWait() closes every live port and joins every port thread:
//    the exit clean-up, after which no port thread is left.
//  - sendData() blocks its caller until every byte has left the driver (a USB
//    adapter's driver holds written bytes until the adapter takes them, and an
//    unplug drops what it holds), the port closes, the write fails, or the
//    write bound passes (kWriteBoundMs, plus twice the time the bytes take on
//    the line at the port's speed), whichever comes first; the time spent
//    waiting for another writer counts. A write that runs out of time drops
//    what was not sent, also what the driver still holds, answers false and reports
//    ETIMEDOUT to the delegate and in the log, once until a write gets through
//    again. A per-port write lock keeps each call's bytes contiguous on the
//    wire whatever the thread.
//  - Requests and packet buffers live on the port's own serial request queue.
//  - Every delegate call runs on the main thread (PelSerialPortDelegate.h), in
//    read order for received data, and only after respondsTo().
//  - Removal (the device hangs up: POLLHUP/POLLERR, a 0-byte read, or EIO, ENXIO,
//    ENODEV from a read or the modem-line read): the delegate hears the error
//    (when there is one) and then serialPortWasRemovedFromSystem, and the port
//    closes; the delegate hears of one removal once, also when the port manager
//    reports the same departure.
//  - A device without modem lines (pseudo-terminals, some adapters answer
//    ENOTTY or EINVAL) is reported once per open and its lines are not watched;
//    removal is still noticed through the descriptor.

#include "platform/DeviceRegistryBackend.h"
#include "platform/posix/TerminalDevice.h"
#include "serial/PelSerialPortInterface.h"
#include "serial/PelSerialPortObservers.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace ostrel {

class PelSerialBuffer;
class PelSerialPacketDescriptor;
class PelSerialPortQueue;
class PelSerialRequest;

class PelSerialPort : public PelSerialPortInterface {
  struct PrivateTag {};

 public:
  using Ref = std::shared_ptr<PelSerialPort>;
  using RequestRef = std::shared_ptr<PelSerialRequest>;
  using DescriptorRef = std::shared_ptr<PelSerialPacketDescriptor>;

  // How long a caller may wait for a write of a few bytes (a 24-byte frame
  // takes 2 ms at 115200 baud on a working line).
  static constexpr int kWriteBoundMs = 200;

  // Parity values: 0 none, 1 odd, 2 even (3 or more is stored as none).
  static constexpr std::uint64_t kParityNone = 0;
  static constexpr std::uint64_t kParityOdd = 1;
  static constexpr std::uint64_t kParityEven = 2;

  // --- creation and the registry of live ports
  // The port for a callout or dial-in path of the device registry; none when
  // no device has that path.
  static Ref serialPortWithPath(const QString& path);
  static Ref serialPortWithDevice(const platform::SerialDeviceEntry& device);
  static Ref existingPortWithPath(const QString& path);
  static std::vector<Ref> allSerialPorts();
  static std::optional<platform::SerialDeviceEntry> deviceFromBSDPath(const QString& path);
  static void closeAllAndWait();

  PelSerialPort(const platform::SerialDeviceEntry& device, PrivateTag);
  ~PelSerialPort() override;
  PelSerialPort(const PelSerialPort&) = delete;
  PelSerialPort& operator=(const PelSerialPort&) = delete;

  // --- the face the rest of Ostrel uses
  QString name() const override;
  QString path() const override;
  std::shared_ptr<PelSerialPortDelegate> delegate() const override;
  void setDelegate(const std::weak_ptr<PelSerialPortDelegate>& delegate) override;
  void open() override;
  bool isOpen() const override;
  bool close() override;
  bool sendData(const QByteArray& data) override;
  void sendDataWithCommand(std::int32_t command, std::int32_t optional) override;
  QString adapterIdentity() const override;

  // Waits for the port thread of the last open to end (see the contract).
  void waitUntilClosed();

  bool operator==(const PelSerialPort& other) const { return isEqual(other); }

  // --- opening, settings, closing
  void cleanupAfterSystemRemoval();
  void cleanup();  // deprecated spelling of cleanupAfterSystemRemoval(), logs a warning
  void setPortOptions();
  void updateModemLines();
  void notifyDelegateOfPosixError(int code);
  void notifyDelegateOfPosixErrorWaitingUntilDone(int code, bool waitUntilDone);

  platform::SerialDeviceEntry IOKitDevice() const;
  void setIoKitDevice(const platform::SerialDeviceEntry& device);
  int fileDescriptor() const { return fileDescriptor_.load(); }
  platform::TerminalAttributes originalPortAttributes() const;

  std::uint64_t baudRate() const;
  void setBaudRate(std::uint64_t baudRate);
  std::uint64_t numberOfStopBits() const;
  void setNumberOfStopBits(std::uint64_t stopBits);
  std::uint64_t numberOfDataBits() const;
  void setNumberOfDataBits(std::uint64_t dataBits);
  std::uint64_t parity() const;
  void setParity(std::uint64_t parity);
  bool shouldEchoReceivedData() const;
  void setShouldEchoReceivedData(bool echo);
  bool allowsNonStandardBaudRates() const;
  void setAllowsNonStandardBaudRates(bool allows);
  // A change on an open port closes it and opens it again once closed.
  bool usesRTSCTSFlowControl() const;
  void setUsesRTSCTSFlowControl(bool uses);
  // Stored and reported only: Linux has no DTR/DSR or carrier output handshake.
  bool usesDTRDSRFlowControl() const;
  void setUsesDTRDSRFlowControl(bool uses);
  bool usesDCDOutputFlowControl() const;
  void setUsesDCDOutputFlowControl(bool uses);
  bool RTS() const;
  void setRTS(bool rts);
  bool DTR() const;
  void setDTR(bool dtr);
  // Last seen input lines; the setters only store (and announce).
  bool CTS() const { return CTS_.load(); }
  void setCTS(bool cts);
  bool DSR() const { return DSR_.load(); }
  void setDSR(bool dsr);
  bool DCD() const { return DCD_.load(); }
  void setDCD(bool dcd);

  // --- requests and packets
  RequestRef pendingRequest() const;
  std::vector<RequestRef> queuedRequests() const;
  std::vector<DescriptorRef> packetDescriptors() const;
  bool sendRequest(const RequestRef& request);
  void cancelQueuedRequest(const RequestRef& request);
  void cancelAllQueuedRequests();
  void startListeningForPacketsMatchingDescriptor(const DescriptorRef& descriptor);
  void stopListeningForPacketsMatchingDescriptor(const DescriptorRef& descriptor);

  // --- observation (see PelSerialPortObservers.h for threads)
  PelSerialPortObservers::Token addObserver(PelSerialPortProperty property, PelSerialPortObservers::Callback callback);
  void removeObserver(PelSerialPortObservers::Token token);

 private:
  struct Session;
  struct MainThreadCalls;
  enum class RequestStart { AwaitingResponse, Completed, Failed };

  // Core (PelSerialPort.cpp)
  std::shared_ptr<Session> currentSession() const;   // open or closing
  std::shared_ptr<Session> liveSession() const;      // open and not closing
  platform::TerminalLineSettings lineSettings() const;
  void changeFlowControl(const std::function<bool()>& store, PelSerialPortProperty property);
  void deliver(PelSerialPortDelegateOperation operation, bool waitUntilDone,
               std::function<void(PelSerialPortDelegate&, const PelSerialPortRef&)> call);
  void reportModemLinesUnsupported(Session& session, int code);
  void setFileDescriptor(int fd);
  // mainthread::runAndWait() with the hand-off made of our own mutex and
  // condition variable, which ThreadSanitizer can see (Qt's blocking queued
  // call is invisible to it), and which a main thread waiting for this port's
  // thread serves itself. False when the call was dropped unrun.
  bool runOnMainThreadAndWait(std::function<void()> fn);
  bool sessionHasEnded(const std::shared_ptr<Session>& session) const;
  void waitForSessionEnd(const std::shared_ptr<Session>& session);
  bool startSessionThread(const std::shared_ptr<Session>& session);

  // Port thread (PelSerialPortIO.cpp)
  void runSession(const std::shared_ptr<Session>& session);
  bool watchModemLines(Session& session);
  void deviceWasRemoved(Session& session, int code);
  void reallyClosePort(const std::shared_ptr<Session>& session);
  void receiveData(const QByteArray& data);
  bool writeAll(const std::shared_ptr<Session>& session, const QByteArray& data);
  bool writeTimedOut(Session& session, qsizetype written, qsizetype total);

  // Request queue (PelSerialPortRequests.cpp)
  PelSerialPortQueue& requestHandlingQueue();
  bool reallySendRequest(const RequestRef& request);
  RequestStart startRequest(const RequestRef& request);
  void sendNextRequest();
  void pendingRequestDidTimeout(std::uint64_t timer);
  void stopPendingRequestTimeoutTimer();
  void checkResponseToPendingRequestAndContinueIfValidWithReceivedByte(const QByteArray* byte);
  void processReceivedBytes(const QByteArray& data);
  void dropAllRequests();
  void updateByteConsumers();

  // Identity and settings, under mutex_.
  mutable std::mutex mutex_;
  platform::SerialDeviceEntry IOKitDevice_;
  QString path_;
  QString name_;
  std::weak_ptr<PelSerialPortDelegate> delegate_;
  std::uint64_t baudRate_ = 115200;
  std::uint64_t numberOfStopBits_ = 1;
  std::uint64_t numberOfDataBits_ = 8;
  std::uint64_t parity_ = kParityNone;
  bool allowsNonStandardBaudRates_ = false;
  bool shouldEchoReceivedData_ = false;
  bool usesRTSCTSFlowControl_ = false;
  bool usesDTRDSRFlowControl_ = false;
  bool usesDCDOutputFlowControl_ = false;
  bool RTS_ = false;
  bool DTR_ = false;
  platform::TerminalAttributes originalPortAttributes_;
  std::shared_ptr<Session> session_;
  std::shared_ptr<Session> lastSession_;  // the last open's, until the next open
  std::shared_ptr<MainThreadCalls> mainThreadCalls_;

  std::mutex openMutex_;  // one open() at a time
  std::atomic<bool> CTS_{false};
  std::atomic<bool> DSR_{false};
  std::atomic<bool> DCD_{false};
  std::atomic<int> fileDescriptor_{0};
  // Set when the last session ended after the delegate heard of its removal, so
  // that the manager's report of the same departure is not passed on twice.
  std::atomic<bool> lastSessionRemovalAnnounced_{false};
  // Set when the device left the system, cleared by the next successful open:
  // a device that arrives later at the same path (another adapter in the same
  // USB socket has the same identity) is another device and gets a port of its
  // own, so that nothing of this one (being the current port) carries over.
  std::atomic<bool> removedFromSystem_{false};

  // Request and packet state: changed only on the request queue; the mutex lets
  // the getters read it from other threads.
  mutable std::mutex requestMutex_;
  RequestRef pendingRequest_;
  std::deque<RequestRef> requestsQueue_;
  std::unique_ptr<PelSerialBuffer> requestResponseReceiveBuffer_;
  std::vector<std::pair<DescriptorRef, std::unique_ptr<PelSerialBuffer>>> packetDescriptorsAndBuffers_;
  std::uint64_t pendingRequestTimeoutTimer_ = 0;
  bool pendingRequestTimedOut_ = false;
  // False while nothing listens to received bytes: the read path then skips the
  // byte pass and the request queue stays asleep.
  std::atomic<bool> byteConsumers_{false};

  std::mutex queueMutex_;
  std::unique_ptr<PelSerialPortQueue> requestHandlingQueue_;

  PelSerialPortObservers observers_;
};

}  // namespace ostrel
