#include "serial/PelSerialRequest.h"

#include "common/Describe.h"
#include "common/Log.h"

#include <QUuid>
#include <QVariant>
#include <cstdint>
#include <utility>

namespace ostrel {

PelSerialRequest::Ref PelSerialRequest::requestWithDataToSend(
    const QByteArray& dataToSend, std::any userInfo, double timeoutInterval,
    std::shared_ptr<PelSerialPacketDescriptor> responseDescriptor) {
  return std::make_shared<PelSerialRequest>(dataToSend, std::move(userInfo), timeoutInterval,
                                            std::move(responseDescriptor));
}

PelSerialRequest::Ref PelSerialRequest::requestWithDataToSend(const QByteArray& dataToSend, std::any userInfo,
                                                              double timeoutInterval,
                                                              PelSerialPacketDescriptor::Evaluator responseEvaluator) {
  return std::make_shared<PelSerialRequest>(dataToSend, std::move(userInfo), timeoutInterval,
                                            std::move(responseEvaluator));
}

PelSerialRequest::Ref PelSerialRequest::requestWithDataToSend(const QByteArray& dataToSend, std::any userInfo,
                                                              double timeoutInterval, std::nullptr_t) {
  return std::make_shared<PelSerialRequest>(dataToSend, std::move(userInfo), timeoutInterval, nullptr);
}

PelSerialRequest::PelSerialRequest(const QByteArray& dataToSend, std::any userInfo, double timeoutInterval,
                                   std::shared_ptr<PelSerialPacketDescriptor> responseDescriptor)
    : dataToSend_(dataToSend),
      userInfo_(std::move(userInfo)),
      timeoutInterval_(timeoutInterval),
      responseDescriptor_(std::move(responseDescriptor)),
      UUIDString_(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()) {}

PelSerialRequest::PelSerialRequest(const QByteArray& dataToSend, std::any userInfo, double timeoutInterval,
                                   PelSerialPacketDescriptor::Evaluator responseEvaluator)
    : PelSerialRequest(dataToSend, std::move(userInfo), timeoutInterval,
                       PelSerialPacketDescriptor::initWithMaximumPacketLength(kEvaluatorMaximumPacketLength, {},
                                                                              std::move(responseEvaluator))) {}

PelSerialRequest::PelSerialRequest(const QByteArray& dataToSend, std::any userInfo, double timeoutInterval,
                                   std::nullptr_t)
    : PelSerialRequest(dataToSend, std::move(userInfo), timeoutInterval, std::shared_ptr<PelSerialPacketDescriptor>{}) {
}

QByteArray PelSerialRequest::dataToSend() const {
  std::lock_guard lock(mutex_);
  return dataToSend_;
}

void PelSerialRequest::setDataToSend(const QByteArray& dataToSend) {
  std::lock_guard lock(mutex_);
  dataToSend_ = dataToSend;
}

std::any PelSerialRequest::userInfo() const {
  std::lock_guard lock(mutex_);
  return userInfo_;
}

void PelSerialRequest::setUserInfo(std::any userInfo) {
  // The old value is destroyed outside the lock: its destructor is the client's code.
  std::any old;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(userInfo_, std::move(userInfo));
  }
}

double PelSerialRequest::timeoutInterval() const {
  std::lock_guard lock(mutex_);
  return timeoutInterval_;
}

void PelSerialRequest::setTimeoutInterval(double timeoutInterval) {
  std::lock_guard lock(mutex_);
  timeoutInterval_ = timeoutInterval;
}

std::shared_ptr<PelSerialPacketDescriptor> PelSerialRequest::responseDescriptor() const {
  std::lock_guard lock(mutex_);
  return responseDescriptor_;
}

void PelSerialRequest::setResponseDescriptor(std::shared_ptr<PelSerialPacketDescriptor> responseDescriptor) {
  std::shared_ptr<PelSerialPacketDescriptor> old;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(responseDescriptor_, std::move(responseDescriptor));
  }
}

QString PelSerialRequest::UUIDString() const {
  std::lock_guard lock(mutex_);
  return UUIDString_;
}

void PelSerialRequest::setUUIDString(const QString& uuidString) {
  std::lock_guard lock(mutex_);
  UUIDString_ = uuidString;
}

bool PelSerialRequest::dataIsValidResponse(const QByteArray& data) const {
  // The test runs outside the lock: it is the client's code and may read the request.
  const auto descriptor = responseDescriptor();
  return descriptor ? descriptor->dataIsValidPacket(data) : true;
}

QString PelSerialRequest::description() const {
  const QString base = QString::asprintf("<PelSerialRequest: %p>", static_cast<const void*>(this));
  return formatLog(
      "%@ data: %@ userInfo: %@ timeout interval: %f",
      {toLogArg(base), toLogArg(dataToSend()), toLogArg(describeUserInfo(userInfo())), toLogArg(timeoutInterval())});
}

QString PelSerialRequest::describeUserInfo(const std::any& userInfo) {
  if (!userInfo.has_value()) return QStringLiteral("(null)");
  if (const auto* s = std::any_cast<QString>(&userInfo)) return *s;
  if (const auto* s = std::any_cast<const char*>(&userInfo)) return describe(*s);
  if (const auto* s = std::any_cast<std::string>(&userInfo)) return QString::fromStdString(*s);
  if (const auto* b = std::any_cast<QByteArray>(&userInfo)) return describe(*b);
  if (const auto* v = std::any_cast<bool>(&userInfo)) return *v ? QStringLiteral("1") : QStringLiteral("0");
  if (const auto* v = std::any_cast<int>(&userInfo)) return QString::number(*v);
  if (const auto* v = std::any_cast<unsigned>(&userInfo)) return QString::number(*v);
  if (const auto* v = std::any_cast<long>(&userInfo)) return QString::number(*v);
  if (const auto* v = std::any_cast<unsigned long>(&userInfo)) return QString::number(*v);
  if (const auto* v = std::any_cast<long long>(&userInfo)) return QString::number(*v);
  if (const auto* v = std::any_cast<unsigned long long>(&userInfo)) return QString::number(*v);
  if (const auto* v = std::any_cast<double>(&userInfo)) return QString::number(*v);
  if (const auto* v = std::any_cast<QVariant>(&userInfo)) {
    if (v->isNull()) return QStringLiteral("(null)");
    if (v->canConvert<QString>()) return v->toString();
    return QStringLiteral("<%1>").arg(QString::fromLatin1(v->typeName()));
  }
  return QStringLiteral("<%1>").arg(QString::fromLatin1(userInfo.type().name()));
}

}  // namespace ostrel
