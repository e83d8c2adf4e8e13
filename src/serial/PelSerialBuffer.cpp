#include "serial/PelSerialBuffer.h"

#include <algorithm>
#include <utility>

namespace ostrel {

PelSerialBuffer::PelSerialBuffer(quint64 maximumLength) : maximumLength_(maximumLength) {}

void PelSerialBuffer::appendData(const QByteArray& data) {
  const auto incoming = static_cast<quint64>(data.size());
  if (incoming >= maximumLength_) {
    // Everything held before would be dropped anyway; keep only the newest
    // bytes of the new data instead of growing past the maximum first.
    internalBuffer_ = data.right(static_cast<qsizetype>(maximumLength_));
  } else {
    internalBuffer_.append(data);
    const auto held = static_cast<quint64>(internalBuffer_.size());
    if (held > maximumLength_) internalBuffer_.remove(0, static_cast<qsizetype>(held - maximumLength_));
  }
  notifyObservers();
}

void PelSerialBuffer::clearBuffer() {
  internalBuffer_ = QByteArray();
  notifyObservers();
}

PelSerialBuffer::ObserverToken PelSerialBuffer::addObserver(Observer observer) {
  const ObserverToken token = nextToken_++;
  observers_.push_back({token, std::move(observer)});
  return token;
}

void PelSerialBuffer::removeObserver(ObserverToken token) {
  std::erase_if(observers_, [token](const Registration& r) { return r.token == token; });
}

void PelSerialBuffer::notifyObservers() {
  // Observers may add or remove observers (or change the buffer) while being
  // called, so walk a snapshot and skip the ones removed meanwhile.
  if (observers_.empty()) return;
  const std::vector<Registration> snapshot = observers_;
  for (const Registration& r : snapshot) {
    const bool stillRegistered =
        std::any_of(observers_.begin(), observers_.end(), [&r](const Registration& o) { return o.token == r.token; });
    if (stillRegistered && r.observer) r.observer();
  }
}

}  // namespace ostrel
