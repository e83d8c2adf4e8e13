#include "serial/PelSerialPort.h"

#include "common/Log.h"
#include "common/MainThread.h"
#include "serial/PelDeviceRegistry.h"
#include "serial/PelSerialBuffer.h"
#include "serial/PelSerialPacketDescriptor.h"
#include "serial/PelSerialPortQueue.h"
#include "serial/PelSerialPortSession.h"
#include "serial/PelSerialRequest.h"

#include <pthread.h>
#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <system_error>
#include <thread>
#include <utility>

namespace ostrel {
namespace {

// The registry of live ports: non-owning, in creation order.
struct LivePorts {
  std::mutex mutex;
  std::vector<std::pair<PelSerialPort*, std::weak_ptr<PelSerialPort>>> ports;
  // Held across look-up and creation so that one device never gets two ports
  // from two threads at once. Never taken by a destructor.
  std::mutex creationMutex;
};

LivePorts& livePorts() {
  static LivePorts* registry = new LivePorts;  // used by destructors until the very end
  return *registry;
}

std::vector<PelSerialPort::Ref> lockedLivePorts() {
  std::vector<PelSerialPort::Ref> out;
  std::lock_guard lock(livePorts().mutex);
  out.reserve(livePorts().ports.size());
  for (const auto& entry : livePorts().ports) {
    if (PelSerialPort::Ref port = entry.second.lock()) out.push_back(std::move(port));
  }
  return out;
}

bool isUnsupportedAnswer(int code) {
  return code == ENOTTY || code == EINVAL;
}

}  // namespace

// ---------------------------------------------------------------- creation

std::optional<platform::SerialDeviceEntry> PelSerialPort::deviceFromBSDPath(const QString& path) {
  return PelDeviceRegistry::shared().deviceFromBSDPath(path);
}

PelSerialPort::Ref PelSerialPort::serialPortWithPath(const QString& path) {
  const std::optional<platform::SerialDeviceEntry> device = deviceFromBSDPath(path);
  if (!device) return nullptr;
  return serialPortWithDevice(*device);
}

PelSerialPort::Ref PelSerialPort::serialPortWithDevice(const platform::SerialDeviceEntry& device) {
  if (device.calloutPath.isEmpty()) return nullptr;
  std::lock_guard creation(livePorts().creationMutex);
  if (Ref existing = existingPortWithPath(device.calloutPath)) {
    if (PelDeviceRegistry::isSameDevice(existing->IOKitDevice(), device) && !existing->removedFromSystem_.load())
      return existing;
  }
  auto port = std::make_shared<PelSerialPort>(device, PrivateTag{});
  std::lock_guard lock(livePorts().mutex);
  livePorts().ports.emplace_back(port.get(), port);
  return port;
}

PelSerialPort::Ref PelSerialPort::existingPortWithPath(const QString& path) {
  for (Ref& port : lockedLivePorts()) {
    if (port->path() == path) return std::move(port);
  }
  return nullptr;
}

std::vector<PelSerialPort::Ref> PelSerialPort::allSerialPorts() {
  return lockedLivePorts();
}

PelSerialPort::PelSerialPort(const platform::SerialDeviceEntry& device, PrivateTag)
    : IOKitDevice_(device),
      path_(device.calloutPath),
      name_(device.ttyName),
      mainThreadCalls_(std::make_shared<MainThreadCalls>()) {}

PelSerialPort::~PelSerialPort() {
  {
    std::lock_guard lock(livePorts().mutex);
    auto& ports = livePorts().ports;
    ports.erase(std::remove_if(ports.begin(), ports.end(), [this](const auto& e) { return e.first == this; }),
                ports.end());
  }
  // Queue tasks refer to this object: the queue goes first.
  std::unique_ptr<PelSerialPortQueue> queue;
  {
    std::lock_guard lock(queueMutex_);
    queue = std::move(requestHandlingQueue_);
  }
  queue.reset();
  // The port thread holds the port, so it has ended by now, unless this is its
  // own last act.
  std::shared_ptr<Session> last;
  {
    std::lock_guard lock(mutex_);
    last = std::move(lastSession_);
  }
  if (last) {
    std::lock_guard lock(last->threadMutex);
    if (last->thread.joinable()) {
      if (last->thread.get_id() == std::this_thread::get_id())
        last->thread.detach();
      else
        last->thread.join();
    }
  }
}

void PelSerialPort::closeAllAndWait() {
  const std::vector<Ref> ports = lockedLivePorts();
  for (const Ref& port : ports) port->close();
  for (const Ref& port : ports) port->waitUntilClosed();
}

// ---------------------------------------------------------------- sessions

std::shared_ptr<PelSerialPort::Session> PelSerialPort::currentSession() const {
  std::lock_guard lock(mutex_);
  return session_;
}

std::shared_ptr<PelSerialPort::Session> PelSerialPort::liveSession() const {
  std::shared_ptr<Session> s = currentSession();
  if (s && s->closing.load()) return nullptr;
  return s;
}

void PelSerialPort::open() {
  std::unique_lock openLock(openMutex_);
  for (;;) {
    if (const std::shared_ptr<Session> current = currentSession(); current && !current->closing.load()) return;
    std::shared_ptr<Session> previous;
    {
      std::lock_guard lock(mutex_);
      previous = lastSession_;
    }
    if (sessionHasEnded(previous)) break;
    // A close still under way: it ends within its bound. Not under openMutex_,
    // which the closing thread's delegate calls may need.
    openLock.unlock();
    waitForSessionEnd(previous);
    openLock.lock();
  }
  int error = 0;
  std::unique_ptr<platform::TerminalDevice> device = platform::TerminalDevice::open(path(), &error);
  if (!device) {
    notifyDelegateOfPosixError(error);
    return;
  }
  auto session = std::make_shared<Session>();
  if (!session->wakeup.valid()) {
    notifyDelegateOfPosixError(errno ? errno : EMFILE);
    return;
  }
  session->descriptor = device->descriptor();
  const int attributesError = device->attributes(&session->originalAttributes);
  session->haveOriginalAttributes = attributesError == 0;
  session->device = std::move(device);
  std::shared_ptr<Session> previous;
  {
    std::lock_guard lock(mutex_);
    session_ = session;
    previous = std::exchange(lastSession_, session);
    if (!attributesError) originalPortAttributes_ = session->originalAttributes;
  }
  waitForSessionEnd(previous);  // ended already: this only joins its thread
  lastSessionRemovalAnnounced_.store(false);
  removedFromSystem_.store(false);
  setFileDescriptor(session->descriptor);
  if (attributesError) notifyDelegateOfPosixError(attributesError);

  setPortOptions();
  updateModemLines();

  deliver(PelSerialPortDelegateOperation::WasOpened, false,
          [](PelSerialPortDelegate& d, const PelSerialPortRef& self) { d.serialPortWasOpened(self); });

  if (!startSessionThread(session)) {
    // No thread, no reading: give the device back.
    session->closing.store(true);
    reallyClosePort(session);
    std::lock_guard lock(mainThreadCalls_->mutex);
    session->finished = true;
  }
}

bool PelSerialPort::startSessionThread(const std::shared_ptr<Session>& session) {
  auto self = std::static_pointer_cast<PelSerialPort>(shared_from_this());
  std::lock_guard lock(session->threadMutex);
  try {
    session->thread = std::thread([self, session] {
      self->runSession(session);
      {
        std::lock_guard done(self->mainThreadCalls_->mutex);
        session->finished = true;
      }
      self->mainThreadCalls_->changed.notify_all();
    });
    // Named by its creator, so that it carries the name from the moment open()
    // returns (a debugger, the exit's checks), not from whenever it first runs.
    ::pthread_setname_np(session->thread.native_handle(), "ostrel-port");
  } catch (const std::system_error& e) {
    notifyDelegateOfPosixError(e.code().value() ? e.code().value() : EAGAIN);
    return false;
  }
  return true;
}

void PelSerialPort::waitUntilClosed() {
  std::shared_ptr<Session> last;
  {
    std::lock_guard lock(mutex_);
    last = lastSession_;
  }
  waitForSessionEnd(last);
}

bool PelSerialPort::sessionHasEnded(const std::shared_ptr<Session>& session) const {
  if (!session) return true;
  {
    std::lock_guard lock(session->threadMutex);
    // Asked on the session's own thread (a reopen without an event loop): it
    // is as good as ended, all it has left is to return.
    if (session->thread.get_id() == std::this_thread::get_id()) return true;
  }
  std::lock_guard lock(mainThreadCalls_->mutex);
  return session->finished;
}

void PelSerialPort::waitForSessionEnd(const std::shared_ptr<Session>& session) {
  if (!session) return;
  {
    std::lock_guard lock(session->threadMutex);
    // Its own thread cannot wait for itself; it is ending anyway.
    if (session->thread.get_id() == std::this_thread::get_id()) return;
  }
  MainThreadCalls& calls = *mainThreadCalls_;
  const bool serveCalls = mainthread::isMainThread();
  {
    std::unique_lock lock(calls.mutex);
    while (!session->finished) {
      if (serveCalls && calls.runOne(lock)) continue;
      calls.changed.wait(lock);
    }
  }
  std::thread thread;
  {
    std::lock_guard lock(session->threadMutex);
    thread = std::move(session->thread);
  }
  if (thread.joinable()) thread.join();
}

bool PelSerialPort::close() {
  const std::shared_ptr<Session> session = currentSession();
  if (!session) return true;
  if (session->closing.exchange(true)) return true;
  session->wakeup.signal();
  return true;
}

void PelSerialPort::setPortOptions() {
  const std::shared_ptr<Session> session = liveSession();
  if (!session) return;
  const platform::TerminalLineSettings settings = lineSettings();
  int error = 0;
  {
    std::shared_lock lock(session->deviceMutex);
    if (session->deviceClosed) return;
    error = session->device->apply(settings);
  }
  if (error) notifyDelegateOfPosixError(error);
}

void PelSerialPort::updateModemLines() {
  const std::shared_ptr<Session> session = liveSession();
  if (!session || session->modemLinesUnsupported.load()) return;
  bool rts = false, dtr = false;
  {
    std::lock_guard lock(mutex_);
    rts = RTS_;
    dtr = DTR_;
  }
  int error = 0;
  {
    std::shared_lock lock(session->deviceMutex);
    if (session->deviceClosed) return;
    error = session->device->setOutputLines(rts, dtr);
  }
  if (!error) return;
  if (isUnsupportedAnswer(error))
    reportModemLinesUnsupported(*session, error);
  else
    notifyDelegateOfPosixError(error);
}

void PelSerialPort::reportModemLinesUnsupported(Session& session, int code) {
  // Once per open: a device without modem lines answers the same every time.
  if (!session.modemLinesUnsupported.exchange(true)) notifyDelegateOfPosixError(code);
}

void PelSerialPort::cleanupAfterSystemRemoval() {
  // The port notices a removal itself and the port manager reports the same
  // departure: the delegate hears of it once.
  removedFromSystem_.store(true);
  const std::shared_ptr<Session> session = currentSession();
  bool alreadyHeard = false;
  if (session) {
    alreadyHeard = session->removalAnnounced.exchange(true);
    if (alreadyHeard) session->removalEchoed.store(true);
  } else {
    alreadyHeard = lastSessionRemovalAnnounced_.exchange(false);
  }
  if (!alreadyHeard) {
    deliver(PelSerialPortDelegateOperation::WasRemovedFromSystem, true,
            [](PelSerialPortDelegate& d, const PelSerialPortRef& self) { d.serialPortWasRemovedFromSystem(self); });
  }
  close();
}

void PelSerialPort::cleanup() {
  log("WARNING: Cleanup is deprecated and was never intended to be called publicly. You should update your code to "
      "avoid calling this method.");
  cleanupAfterSystemRemoval();
}

// ---------------------------------------------------------------- delegate

void PelSerialPort::deliver(PelSerialPortDelegateOperation operation, bool waitUntilDone,
                            std::function<void(PelSerialPortDelegate&, const PelSerialPortRef&)> call) {
  // Not while the port is being destroyed: nobody could be told about it then.
  PelSerialPortRef self = weak_from_this().lock();
  if (!self) return;
  auto run = [this, self, operation, call = std::move(call)] {
    // Asked on the main thread, at the moment of the call: the delegate may have
    // changed since the event.
    const std::shared_ptr<PelSerialPortDelegate> d = delegate();
    if (d && d->respondsTo(operation)) call(*d, self);
  };
  if (waitUntilDone)
    runOnMainThreadAndWait(std::move(run));
  else
    mainthread::post(std::move(run));
}

bool PelSerialPort::runOnMainThreadAndWait(std::function<void()> fn) {
  if (mainthread::isMainThread() || !QCoreApplication::instance()) {
    fn();
    return true;
  }
  if (QCoreApplication::closingDown()) return false;
  auto call = std::make_shared<MainThreadCalls::Call>();
  call->fn = std::move(fn);
  const std::shared_ptr<MainThreadCalls> calls = mainThreadCalls_;
  {
    std::lock_guard lock(calls->mutex);
    calls->pending.push_back(call);
  }
  calls->changed.notify_all();
  mainthread::post([calls] { calls->runPending(); });
  std::unique_lock lock(calls->mutex);
  while (!call->done) {
    // An event loop that has ended will never run the call.
    if (calls->changed.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout &&
        QCoreApplication::closingDown()) {
      return false;
    }
  }
  return call->ran;
}

bool PelSerialPort::MainThreadCalls::runOne(std::unique_lock<std::mutex>& lock) {
  if (pending.empty()) return false;
  const std::shared_ptr<Call> call = std::move(pending.front());
  pending.pop_front();
  lock.unlock();
  call->fn();
  lock.lock();
  call->done = true;
  call->ran = true;
  changed.notify_all();
  return true;
}

void PelSerialPort::MainThreadCalls::runPending() {
  std::unique_lock lock(mutex);
  while (runOne(lock)) {
  }
}

void PelSerialPort::notifyDelegateOfPosixError(int code) {
  notifyDelegateOfPosixErrorWaitingUntilDone(code, false);
}

void PelSerialPort::notifyDelegateOfPosixErrorWaitingUntilDone(int code, bool waitUntilDone) {
  const PelPosixError error = PelPosixError::fromErrno(code, path());
  auto call = [error](PelSerialPortDelegate& d, const PelSerialPortRef& self) {
    d.serialPortDidEncounterError(self, error);
  };
  // Already on the main thread: called directly.
  deliver(PelSerialPortDelegateOperation::DidEncounterError, waitUntilDone || mainthread::isMainThread(),
          std::move(call));
}

}  // namespace ostrel
