// The port thread (reading, modem lines, removal, the final close) and the write
// path of PelSerialPort.

#include "common/Log.h"
#include "common/MainThread.h"
#include "serial/PelSerialFrame.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortQueue.h"
#include "serial/PelSerialPortSession.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>

namespace ostrel {
namespace {

using Clock = std::chrono::steady_clock;

// How often readable modem lines are sampled, as the original line poll did.
constexpr int kModemLinePollMs = 10;
// The close gives queued output this long to leave; the rest is thrown away so
// that a peer that stopped reading cannot hold the close (which must end within
// half a second).
constexpr int kCloseDrainBoundMs = 300;
constexpr std::size_t kReadChunk = 1024;

bool meansRemoval(int code) { return code == EIO || code == ENXIO || code == ENODEV; }

bool isUnsupportedAnswer(int code) { return code == ENOTTY || code == EINVAL; }

}  // namespace

void PelSerialPort::runSession(const std::shared_ptr<Session>& session) {
  std::array<char, kReadChunk> buffer{};
  // Sampled at once, then every kModemLinePollMs, unless the device has none.
  bool watchLines = !session->modemLinesUnsupported.load() && watchModemLines(*session);
  auto nextLinePoll = Clock::now() + std::chrono::milliseconds(kModemLinePollMs);
  platform::TerminalDevice& device = *session->device;

  while (!session->closing.load()) {
    int timeoutMs = -1;
    if (watchLines) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextLinePoll - Clock::now()).count();
      timeoutMs = left > 0 ? static_cast<int>(left) : 0;
    }
    const platform::TerminalWait waited = device.wait(false, session->wakeup, timeoutMs);
    if (waited == platform::TerminalWait::Cancelled) break;
    if (waited == platform::TerminalWait::HungUp) {
      deviceWasRemoved(*session, 0);
      continue;
    }
    if (waited == platform::TerminalWait::Ready) {
      const platform::TerminalReadResult r = device.read(buffer.data(), buffer.size());
      if (r.count > 0) {
        receiveData(QByteArray(buffer.data(), static_cast<qsizetype>(r.count)));
      } else if (r.count == 0) {
        // Readable yet empty: the tty was hung up (an unplugged adapter).
        deviceWasRemoved(*session, 0);
      } else if (r.error != EAGAIN && r.error != EWOULDBLOCK) {
        deviceWasRemoved(*session, r.error);
      }
    }
    if (watchLines && Clock::now() >= nextLinePoll) {
      watchLines = watchModemLines(*session);
      nextLinePoll = Clock::now() + std::chrono::milliseconds(kModemLinePollMs);
    }
  }
  reallyClosePort(session);
}

// One sample of the input lines. Returns false when watching must stop.
bool PelSerialPort::watchModemLines(Session& session) {
  std::uint32_t bits = 0;
  const int error = session.device->modemLines(&bits);
  if (error) {
    if (meansRemoval(error)) deviceWasRemoved(session, error);
    else if (isUnsupportedAnswer(error)) reportModemLinesUnsupported(session, error);
    // Any other answer would come back every tick: say it once and stop asking.
    else if (!session.modemLinesUnsupported.exchange(true)) notifyDelegateOfPosixError(error);
    return false;
  }
  const bool cts = platform::hasLine(bits, platform::ModemLine::CTS);
  const bool dsr = platform::hasLine(bits, platform::ModemLine::DSR);
  const bool dcd = platform::hasLine(bits, platform::ModemLine::DCD);
  // Observers of the input lines hear of them on the main thread.
  if (cts != CTS()) runOnMainThreadAndWait([this, cts] { setCTS(cts); });
  if (dsr != DSR()) runOnMainThreadAndWait([this, dsr] { setDSR(dsr); });
  if (dcd != DCD()) runOnMainThreadAndWait([this, dcd] { setDCD(dcd); });
  return true;
}

void PelSerialPort::deviceWasRemoved(Session& session, int code) {
  if (session.closing.load()) return;
  if (code && !session.removalAnnounced.load()) notifyDelegateOfPosixErrorWaitingUntilDone(code, true);
  cleanupAfterSystemRemoval();
}

void PelSerialPort::reallyClosePort(const std::shared_ptr<Session>& session) {
  int closeError = 0;
  {
    // Writers have been sent away by the wake-up event; wait for them to leave.
    std::unique_lock lock(session->deviceMutex);
    platform::TerminalDevice& device = *session->device;
    (void)device.clearHardwareFlowControl();
    (void)device.drainOutput(kCloseDrainBoundMs);
    if (session->haveOriginalAttributes) (void)device.restore(session->originalAttributes);
    closeError = device.close();
    session->deviceClosed = true;
  }
  // Linux frees the descriptor even when close() fails, so the port is closed
  // either way; a descriptor number kept here could name someone else's file.
  if (closeError) notifyDelegateOfPosixError(closeError);
  {
    std::lock_guard lock(mutex_);
    if (session_ == session) session_.reset();
  }
  lastSessionRemovalAnnounced_.store(session->removalAnnounced.load() && !session->removalEchoed.load());
  setFileDescriptor(0);

  deliver(PelSerialPortDelegateOperation::WasClosed, true,
          [](PelSerialPortDelegate& d, const PelSerialPortRef& self) { d.serialPortWasClosed(self); });

  // Requests do not outlive the open they were sent on, whatever the delegate
  // implements; a pending one would otherwise block every later request.
  bool hasQueue = false;
  {
    std::lock_guard lock(queueMutex_);
    hasQueue = requestHandlingQueue_ != nullptr;
  }
  if (hasQueue) requestHandlingQueue().post([this] { dropAllRequests(); });

  std::vector<std::function<void()>> afterClose;
  {
    std::lock_guard lock(session->afterCloseMutex);
    session->closed = true;
    afterClose.swap(session->afterClose);
  }
  for (const auto& work : afterClose) work();
}

void PelSerialPort::receiveData(const QByteArray& data) {
  deliver(PelSerialPortDelegateOperation::DidReceiveData, false,
          [data](PelSerialPortDelegate& d, const PelSerialPortRef& self) { d.serialPortDidReceiveData(self, data); });
  if (!byteConsumers_.load()) return;
  // The task keeps the port alive: it may still be queued after the port thread
  // has let go.
  if (PelSerialPortRef self = weak_from_this().lock()) {
    requestHandlingQueue().post([this, self, data] { processReceivedBytes(data); });
  }
}

// ---------------------------------------------------------------- writing

bool PelSerialPort::writeAll(const std::shared_ptr<Session>& session, const QByteArray& data) {
  // The bound covers the whole call, the wait for another writer included: a
  // device that stopped taking data must not hold anybody, least of all the
  // main thread, longer than that.
  const std::uint64_t baud = std::max<std::uint64_t>(baudRate(), 1);
  const auto lineTime = std::chrono::microseconds(static_cast<std::int64_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(data.size()) * 10u * 1'000'000u / baud, 3'600'000'000u)));
  const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteBoundMs) + 2 * lineTime;
  {
    std::unique_lock gate(session->writerMutex);
    if (!session->writerDone.wait_until(gate, deadline, [&] { return !session->writing; })) {
      return writeTimedOut(*session, 0, data.size());
    }
    session->writing = true;
  }
  struct TurnEnds {
    Session& session;
    ~TurnEnds() {
      {
        std::lock_guard gate(session.writerMutex);
        session.writing = false;
      }
      session.writerDone.notify_one();
    }
  } turn{*session};
  // The final close holds the device only after it has sent writers away, and
  // for its own bounded time.
  if (session->closing.load()) return false;
  std::shared_lock deviceLock(session->deviceMutex);
  if (session->deviceClosed) return false;
  platform::TerminalDevice& device = *session->device;
  const char* next = data.constData();
  std::size_t left = static_cast<std::size_t>(data.size());
  while (left > 0) {
    if (session->closing.load()) return false;
    int error = 0;
    const std::ptrdiff_t n = device.write(next, left, &error);
    if (n > 0) {
      next += n;
      left -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && error != EAGAIN && error != EWOULDBLOCK) {
      notifyDelegateOfPosixError(error);
      return false;
    }
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (remaining <= 0) return writeTimedOut(*session, data.size() - static_cast<qsizetype>(left), data.size());
    const platform::TerminalWait waited = device.wait(true, session->wakeup, static_cast<int>(remaining));
    if (waited == platform::TerminalWait::Cancelled) return false;
    if (waited == platform::TerminalWait::TimedOut) {
      return writeTimedOut(*session, data.size() - static_cast<qsizetype>(left), data.size());
    }
    if (waited == platform::TerminalWait::HungUp) {
      // One more try tells the real reason (EIO after a hang-up).
      const std::ptrdiff_t again = device.write(next, left, &error);
      if (again > 0) {
        next += again;
        left -= static_cast<std::size_t>(again);
        continue;
      }
      notifyDelegateOfPosixError(again < 0 && error != EAGAIN ? error : EIO);
      return false;
    }
  }
  // Written is not yet sent: a USB adapter's driver holds the bytes until the
  // adapter takes them, and an unplug meanwhile drops them.
  const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  const platform::TerminalOutputResult sent =
      device.waitUntilSent(&session->wakeup, static_cast<int>(std::max<std::int64_t>(remaining, 0)));
  switch (sent.state) {
    case platform::TerminalOutput::Sent:
      break;
    case platform::TerminalOutput::Cancelled:
      return false;
    case platform::TerminalOutput::Failed:
      notifyDelegateOfPosixError(sent.error);
      return false;
    case platform::TerminalOutput::TimedOut: {
      // Sent late, the rest would reach a monitor that has been told something else since.
      device.discardOutput();
      const qsizetype unsent = std::min<qsizetype>(sent.queued, data.size());
      return writeTimedOut(*session, data.size() - unsent, data.size());
    }
  }
  if (session->writeStalled.exchange(false)) log("Port %@ takes data again", name());
  return true;
}

bool PelSerialPort::writeTimedOut(Session& session, qsizetype written, qsizetype total) {
  // The rest of the frame is dropped: sent late it would reach a monitor that
  // has long since been told something else.
  if (session.writeStalled.exchange(true)) return false;
  log("Port %@ took no data for %d ms: a write of %ld bytes was dropped after %ld bytes; further writes are "
      "dropped the same way until the device takes data again",
      name(), kWriteBoundMs, long(total), long(written));
  notifyDelegateOfPosixError(ETIMEDOUT);
  return false;
}

bool PelSerialPort::sendData(const QByteArray& data) {
  const std::shared_ptr<Session> session = currentSession();
  if (!session || !isOpen()) return false;
  if (data.isEmpty()) return true;
  log("\n> has send Data value [writeBuffer length] %ul", data.size());
  return writeAll(session, data);
}

void PelSerialPort::sendDataWithCommand(std::int32_t command, std::int32_t optional) {
  const std::shared_ptr<Session> session = currentSession();
  if (!session || !isOpen()) {
    log("\n> has send Data value self.isOpen false");
    return;
  }
  switch (command) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 10: case 240:
      break;
    default:
      log("\n> has send Data value command = %d", command);
      return;
  }
  const QByteArray frame = pelCommandFrameText(command, optional);
  log("\n> has send Data value %@", QString::fromLatin1(frame).toLower());
  log("\n> has send Data value [writeBuffer length] %lul", frame.size());
  (void)writeAll(session, frame);
}

}  // namespace ostrel
