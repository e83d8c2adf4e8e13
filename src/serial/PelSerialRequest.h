#pragma once
// Bytes to send to a port together with what the answer looks like, how long to
// wait for it and free client data.
//
// Contract:
//  - timeoutInterval(): seconds; greater than 0 is the time allowed for the
//    response, 0 or less means no time limit.
//  - responseDescriptor(): what the response looks like; none means no response
//    is expected and the request completes as soon as it is written.
//  - UUIDString(): a new identifier in its standard upper-case text form
//    without braces, made at creation.
//  - dataIsValidResponse(): the response descriptor's dataIsValidPacket(), or
//    true without a descriptor.
//  - Requests have no equality of their own: compare the references.
//  - Every property can be read and written from any thread; each access is
//    atomic on its own (a port reads them on its request queue while the client
//    may still change them).

#include "serial/PelSerialPacketDescriptor.h"

#include <QByteArray>
#include <QString>
#include <any>
#include <cstddef>
#include <memory>
#include <mutex>

namespace ostrel {

class PelSerialRequest {
 public:
  using Ref = std::shared_ptr<PelSerialRequest>;

  // The largest signed 64-bit value: the maximum packet length of the
  // descriptor made around a bare evaluator.
  static constexpr quint64 kEvaluatorMaximumPacketLength = 9223372036854775807ULL;

  static Ref requestWithDataToSend(const QByteArray& dataToSend, std::any userInfo, double timeoutInterval,
                                   std::shared_ptr<PelSerialPacketDescriptor> responseDescriptor);
  // The older form: wraps the evaluator in a new descriptor with
  // kEvaluatorMaximumPacketLength and no userInfo (an empty evaluator accepts
  // any non-empty response).
  static Ref requestWithDataToSend(const QByteArray& dataToSend, std::any userInfo, double timeoutInterval,
                                   PelSerialPacketDescriptor::Evaluator responseEvaluator);
  // A literal nullptr would fit both forms above: it means "no response".
  static Ref requestWithDataToSend(const QByteArray& dataToSend, std::any userInfo, double timeoutInterval,
                                   std::nullptr_t);

  PelSerialRequest(const QByteArray& dataToSend, std::any userInfo, double timeoutInterval,
                   std::shared_ptr<PelSerialPacketDescriptor> responseDescriptor);
  PelSerialRequest(const QByteArray& dataToSend, std::any userInfo, double timeoutInterval,
                   PelSerialPacketDescriptor::Evaluator responseEvaluator);
  PelSerialRequest(const QByteArray& dataToSend, std::any userInfo, double timeoutInterval, std::nullptr_t);
  PelSerialRequest(const PelSerialRequest&) = delete;
  PelSerialRequest& operator=(const PelSerialRequest&) = delete;

  QByteArray dataToSend() const;
  void setDataToSend(const QByteArray& dataToSend);
  std::any userInfo() const;
  void setUserInfo(std::any userInfo);
  double timeoutInterval() const;
  void setTimeoutInterval(double timeoutInterval);
  std::shared_ptr<PelSerialPacketDescriptor> responseDescriptor() const;
  void setResponseDescriptor(std::shared_ptr<PelSerialPacketDescriptor> responseDescriptor);
  QString UUIDString() const;
  void setUUIDString(const QString& uuidString);

  bool dataIsValidResponse(const QByteArray& data) const;

  // "<PelSerialRequest: 0x...> data: <...> userInfo: ... timeout interval: 1.500000"
  QString description() const;

  // How free client data prints: "(null)" when empty; the value for strings,
  // byte strings, numbers, booleans (1 or 0) and string-convertible variants;
  // otherwise "<type name>".
  static QString describeUserInfo(const std::any& userInfo);

 private:
  mutable std::mutex mutex_;
  QByteArray dataToSend_;
  std::any userInfo_;
  double timeoutInterval_ = 0.0;
  std::shared_ptr<PelSerialPacketDescriptor> responseDescriptor_;
  QString UUIDString_;
};

}  // namespace ostrel
