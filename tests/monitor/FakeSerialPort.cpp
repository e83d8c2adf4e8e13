#include "FakeSerialPort.h"

#include "common/MainThread.h"
#include "serial/PelSerialFrame.h"

#include <stdexcept>

namespace ostrel::test {

std::shared_ptr<FakeSerialPort> FakeSerialPort::create(const QString& name) {
  return std::make_shared<FakeSerialPort>(name, QStringLiteral("/dev/") + name);
}

FakeSerialPort::FakeSerialPort(QString name, QString path) : name_(std::move(name)), path_(std::move(path)) {}

std::shared_ptr<PelSerialPortDelegate> FakeSerialPort::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void FakeSerialPort::setDelegate(const std::weak_ptr<PelSerialPortDelegate>& delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = delegate;
}

void FakeSerialPort::open() {
  if (throwOnOpen_) throw std::runtime_error("device refused the open");
  std::weak_ptr<PelSerialPortInterface> weak = weak_from_this();
  {
    std::lock_guard lock(mutex_);
    if (open_) return;
    ++openCount_;
    if (!firstOpenAt_) firstOpenAt_ = Clock::now();
    if (!openFails_) open_ = true;
  }
  const bool failed = openFails_;
  mainthread::post([weak, failed, path = path_] {
    const auto self = weak.lock();
    if (!self) return;
    const auto d = self->delegate();
    if (!d) return;
    if (failed && d->respondsTo(PelSerialPortDelegateOperation::DidEncounterError)) {
      d->serialPortDidEncounterError(self, PelPosixError::fromErrno(EBUSY, path));
    } else if (!failed && d->respondsTo(PelSerialPortDelegateOperation::WasOpened)) {
      d->serialPortWasOpened(self);
    }
  });
}

bool FakeSerialPort::isOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

bool FakeSerialPort::close() {
  std::lock_guard lock(mutex_);
  if (open_) closedAt_ = Clock::now();
  open_ = false;
  return true;
}

bool FakeSerialPort::sendData(const QByteArray& data) {
  if (!isOpen()) return false;
  std::lock_guard writing(writeMutex_);
  std::optional<QByteArray> reply;
  {
    std::lock_guard lock(mutex_);
    writes_.push_back({Clock::now(), data});
    wire_.append(data);
    const auto it = replies_.find(data);
    if (it != replies_.end()) reply = it->second;
  }
  if (reply) deliver(*reply);
  return true;
}

void FakeSerialPort::sendDataWithCommand(std::int32_t command, std::int32_t optional) {
  sendData(pelCommandFrameText(command, optional));
}

void FakeSerialPort::setReply(const QByteArray& frame, const QByteArray& reply) {
  std::lock_guard lock(mutex_);
  replies_[frame] = reply;
}

void FakeSerialPort::answerProbeWithMCUVersion(int version) {
  setReply("5FF50A10000000000000A0FA",
           QByteArray("5FF5F00A10") + QByteArray::number(version, 16).rightJustified(2, '0').toUpper() +
               "00000000A0FA");
}

void FakeSerialPort::deliver(const QByteArray& chunk) {
  std::weak_ptr<PelSerialPortInterface> weak = weak_from_this();
  mainthread::post([weak, chunk] {
    if (const auto self = weak.lock()) std::static_pointer_cast<FakeSerialPort>(self)->deliverNow(chunk);
  });
}

void FakeSerialPort::deliverNow(const QByteArray& chunk) {
  if (!isOpen()) return;  // a closed port reads nothing
  const auto d = delegate();
  if (d && d->respondsTo(PelSerialPortDelegateOperation::DidReceiveData)) d->serialPortDidReceiveData(shared_from_this(), chunk);
}

void FakeSerialPort::removeFromSystem() {
  close();
  const auto d = delegate();
  if (d && d->respondsTo(PelSerialPortDelegateOperation::WasRemovedFromSystem))
    d->serialPortWasRemovedFromSystem(shared_from_this());
}

std::vector<FakeSerialPort::Write> FakeSerialPort::writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

QList<QByteArray> FakeSerialPort::frames() const {
  QList<QByteArray> out;
  for (const Write& w : writes()) out << w.bytes;
  return out;
}

QByteArray FakeSerialPort::wire() const {
  std::lock_guard lock(mutex_);
  return wire_;
}

int FakeSerialPort::openCount() const {
  std::lock_guard lock(mutex_);
  return openCount_;
}

std::optional<Clock::time_point> FakeSerialPort::firstOpenAt() const {
  std::lock_guard lock(mutex_);
  return firstOpenAt_;
}

std::optional<Clock::time_point> FakeSerialPort::closedAt() const {
  std::lock_guard lock(mutex_);
  return closedAt_;
}

void FakeSerialPort::clearWrites() {
  std::lock_guard lock(mutex_);
  writes_.clear();
  wire_.clear();
}

}  // namespace ostrel::test
