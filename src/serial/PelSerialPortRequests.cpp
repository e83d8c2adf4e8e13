// Requests and packet listening of PelSerialPort. Everything that reads or
// changes the request state runs on the port's request queue.

#include "common/MainThread.h"
#include "serial/PelSerialBuffer.h"
#include "serial/PelSerialPacketDescriptor.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortQueue.h"
#include "serial/PelSerialRequest.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace ostrel {

PelSerialPortQueue& PelSerialPort::requestHandlingQueue() {
  std::lock_guard lock(queueMutex_);
  if (!requestHandlingQueue_) {
    requestHandlingQueue_ = std::make_unique<PelSerialPortQueue>(QStringLiteral("ostrel.serial.requests ") + path());
  }
  return *requestHandlingQueue_;
}

PelSerialPort::RequestRef PelSerialPort::pendingRequest() const {
  std::lock_guard lock(requestMutex_);
  return pendingRequest_;
}

std::vector<PelSerialPort::RequestRef> PelSerialPort::queuedRequests() const {
  std::lock_guard lock(requestMutex_);
  return {requestsQueue_.begin(), requestsQueue_.end()};
}

std::vector<PelSerialPort::DescriptorRef> PelSerialPort::packetDescriptors() const {
  std::lock_guard lock(requestMutex_);
  std::vector<DescriptorRef> out;
  out.reserve(packetDescriptorsAndBuffers_.size());
  for (const auto& entry : packetDescriptorsAndBuffers_) out.push_back(entry.first);
  return out;
}

void PelSerialPort::updateByteConsumers() {
  std::lock_guard lock(requestMutex_);
  byteConsumers_.store(pendingRequest_ != nullptr || !packetDescriptorsAndBuffers_.empty());
}

// ---------------------------------------------------------------- sending

bool PelSerialPort::sendRequest(const RequestRef& request) {
  if (!request) return false;
  bool result = false;
  requestHandlingQueue().runAndWait([&] { result = reallySendRequest(request); });
  return result;
}

bool PelSerialPort::reallySendRequest(const RequestRef& request) {
  bool busy = false;
  {
    std::lock_guard lock(requestMutex_);
    busy = pendingRequest_ != nullptr;
    if (busy) requestsQueue_.push_back(request);
  }
  if (busy) {
    observers_.announce(PelSerialPortProperty::QueuedRequests);
    return true;
  }
  const RequestStart started = startRequest(request);
  if (started == RequestStart::AwaitingResponse) return true;
  sendNextRequest();
  return started == RequestStart::Completed;
}

PelSerialPort::RequestStart PelSerialPort::startRequest(const RequestRef& request) {
  const DescriptorRef descriptor = request->responseDescriptor();
  {
    std::lock_guard lock(requestMutex_);
    requestResponseReceiveBuffer_ = std::make_unique<PelSerialBuffer>(descriptor ? descriptor->maximumPacketLength() : 0);
    pendingRequest_ = request;
    pendingRequestTimedOut_ = false;
  }
  updateByteConsumers();
  observers_.announce(PelSerialPortProperty::PendingRequest);

  const double interval = request->timeoutInterval();
  if (interval > 0 && std::isfinite(interval)) {
    stopPendingRequestTimeoutTimer();
    const auto delay = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(interval));
    std::weak_ptr<PelSerialPortInterface> weakSelf = weak_from_this();
    // Filled in right after posting; the timer runs on this same queue, so not
    // before. A stale timer (stopped once due) then sees another id.
    auto id = std::make_shared<std::uint64_t>(0);
    const std::uint64_t timer = requestHandlingQueue().postAfter(delay, [weakSelf, this, id] {
      if (auto self = weakSelf.lock()) pendingRequestDidTimeout(*id);
    });
    *id = timer;
    std::lock_guard lock(requestMutex_);
    pendingRequestTimeoutTimer_ = timer;
  }

  if (!sendData(request->dataToSend())) {
    // A request that never left cannot be answered: end it (the delegate has
    // heard the write error) so that it does not hold up every later one.
    stopPendingRequestTimeoutTimer();
    return RequestStart::Failed;
  }
  const bool expectsResponse = descriptor != nullptr;
  return expectsResponse ? RequestStart::AwaitingResponse : RequestStart::Completed;
}

void PelSerialPort::sendNextRequest() {
  for (;;) {
    RequestRef next;
    bool queueChanged = false;
    {
      std::lock_guard lock(requestMutex_);
      pendingRequest_.reset();
      pendingRequestTimedOut_ = false;
      if (!requestsQueue_.empty()) {
        next = requestsQueue_.front();
        requestsQueue_.pop_front();
        queueChanged = true;
      }
    }
    stopPendingRequestTimeoutTimer();
    updateByteConsumers();
    observers_.announce(PelSerialPortProperty::PendingRequest);
    if (queueChanged) observers_.announce(PelSerialPortProperty::QueuedRequests);
    if (!next) return;
    if (startRequest(next) == RequestStart::AwaitingResponse) return;
  }
}

void PelSerialPort::stopPendingRequestTimeoutTimer() {
  std::uint64_t timer = 0;
  {
    std::lock_guard lock(requestMutex_);
    timer = pendingRequestTimeoutTimer_;
    pendingRequestTimeoutTimer_ = 0;
  }
  if (timer) requestHandlingQueue().cancelTimer(timer);
}

void PelSerialPort::pendingRequestDidTimeout(std::uint64_t timer) {
  RequestRef request;
  {
    std::lock_guard lock(requestMutex_);
    // A timer stopped after it was due but before it ran is not a time-out.
    if (timer == 0 || timer != pendingRequestTimeoutTimer_) return;
    pendingRequestTimeoutTimer_ = 0;
    request = pendingRequest_;
    // Bytes that come while the delegate hears of the time-out no longer
    // answer this request.
    pendingRequestTimedOut_ = true;
  }
  if (!request) return;
  const std::shared_ptr<PelSerialPortDelegate> d = delegate();
  if (!d || !d->respondsTo(PelSerialPortDelegateOperation::RequestDidTimeout)) {
    sendNextRequest();
    return;
  }
  PelSerialPortRef self = weak_from_this().lock();
  if (!self) return;
  mainthread::post([this, self, request] {
    const std::shared_ptr<PelSerialPortDelegate> current = delegate();
    if (current && current->respondsTo(PelSerialPortDelegateOperation::RequestDidTimeout)) {
      current->serialPortRequestDidTimeout(self, request);
    }
    requestHandlingQueue().post([this, self, request] {
      // Only if nothing (a close, say) has moved the queue on meanwhile.
      if (pendingRequest() == request) sendNextRequest();
    });
  });
}

// ---------------------------------------------------------------- receiving

// Request and packet state is only ever changed on this queue, so reading it
// here needs no lock; the lock only guards against the getters on other
// threads, and is not held while a descriptor's test (client code) runs.
void PelSerialPort::processReceivedBytes(const QByteArray& data) {
  for (qsizetype i = 0; i < data.size(); ++i) {
    // A one-byte view into the chunk, no copy.
    const QByteArray byte = QByteArray::fromRawData(data.constData() + i, 1);
    for (auto& entry : packetDescriptorsAndBuffers_) {
      // Named copies rather than structured bindings: lambdas below capture them.
      const auto descriptor = entry.first;
      const auto& buffer = entry.second;
      buffer->appendData(byte);
      const std::optional<QByteArray> packet = descriptor->packetMatchingAtEndOfBuffer(buffer->data());
      if (!packet || packet->isEmpty()) continue;
      const QByteArray owned(packet->constData(), packet->size());
      buffer->clearBuffer();
      deliver(PelSerialPortDelegateOperation::DidReceivePacketMatchingDescriptor, false,
              [descriptor, owned](PelSerialPortDelegate& d, const PelSerialPortRef& self) {
                d.serialPortDidReceivePacketMatchingDescriptor(self, owned, descriptor);
              });
    }
    checkResponseToPendingRequestAndContinueIfValidWithReceivedByte(&byte);
  }
}

void PelSerialPort::checkResponseToPendingRequestAndContinueIfValidWithReceivedByte(const QByteArray* byte) {
  if (!pendingRequest_ || pendingRequestTimedOut_) return;
  const RequestRef request = pendingRequest_;
  const DescriptorRef descriptor = request->responseDescriptor();
  if (!byte) {
    // Nothing to wait for: the request is done once written.
    if (!descriptor) sendNextRequest();
    return;
  }
  if (!descriptor || !requestResponseReceiveBuffer_) return;
  requestResponseReceiveBuffer_->appendData(*byte);
  const std::optional<QByteArray> response = descriptor->packetMatchingAtEndOfBuffer(requestResponseReceiveBuffer_->data());
  if (!response) return;
  stopPendingRequestTimeoutTimer();
  if (!response->isEmpty()) {
    const QByteArray packet(response->constData(), response->size());
    deliver(PelSerialPortDelegateOperation::DidReceiveResponseToRequest, false,
            [packet, request](PelSerialPortDelegate& d, const PelSerialPortRef& self) {
              d.serialPortDidReceiveResponseToRequest(self, packet, request);
            });
  }
  sendNextRequest();
}

// ---------------------------------------------------------------- cancelling

void PelSerialPort::cancelQueuedRequest(const RequestRef& request) {
  if (!request) return;
  requestHandlingQueue().post([this, request] {
    bool removed = false;
    {
      std::lock_guard lock(requestMutex_);
      // The pending request cannot be cancelled.
      if (request == pendingRequest_) return;
      auto it = std::find(requestsQueue_.begin(), requestsQueue_.end(), request);
      if (it != requestsQueue_.end()) {
        requestsQueue_.erase(it);
        removed = true;
      }
    }
    if (removed) observers_.announce(PelSerialPortProperty::QueuedRequests);
  });
}

void PelSerialPort::cancelAllQueuedRequests() {
  requestHandlingQueue().post([this] {
    {
      std::lock_guard lock(requestMutex_);
      requestsQueue_.clear();
    }
    observers_.announce(PelSerialPortProperty::QueuedRequests);
  });
}

void PelSerialPort::dropAllRequests() {
  {
    std::lock_guard lock(requestMutex_);
    requestsQueue_.clear();
    pendingRequest_.reset();
    pendingRequestTimedOut_ = false;
  }
  stopPendingRequestTimeoutTimer();
  updateByteConsumers();
  observers_.announce(PelSerialPortProperty::QueuedRequests);
  observers_.announce(PelSerialPortProperty::PendingRequest);
}

// ---------------------------------------------------------------- packets

void PelSerialPort::startListeningForPacketsMatchingDescriptor(const DescriptorRef& descriptor) {
  if (!descriptor) return;
  requestHandlingQueue().runAndWait([&] {
    {
      std::lock_guard lock(requestMutex_);
      for (const auto& entry : packetDescriptorsAndBuffers_) {
        if (entry.first->isEqual(*descriptor)) return;
      }
      packetDescriptorsAndBuffers_.emplace_back(descriptor,
                                                std::make_unique<PelSerialBuffer>(descriptor->maximumPacketLength()));
    }
    updateByteConsumers();
    observers_.announce(PelSerialPortProperty::PacketDescriptors);
  });
}

void PelSerialPort::stopListeningForPacketsMatchingDescriptor(const DescriptorRef& descriptor) {
  if (!descriptor) return;
  requestHandlingQueue().runAndWait([&] {
    {
      std::lock_guard lock(requestMutex_);
      auto& entries = packetDescriptorsAndBuffers_;
      entries.erase(std::remove_if(entries.begin(), entries.end(),
                                   [&](const auto& e) { return e.first->isEqual(*descriptor); }),
                    entries.end());
    }
    updateByteConsumers();
    observers_.announce(PelSerialPortProperty::PacketDescriptors);
  });
}

}  // namespace ostrel
