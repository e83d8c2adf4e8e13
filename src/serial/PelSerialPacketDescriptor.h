#pragma once
// What a complete packet on a serial line looks like, and how long one can be.
//
// A descriptor is immutable once made and always lives in a std::shared_ptr; the
// factories below are the only way to make one, so a descriptor without its
// defining values cannot exist (there is no default constructor to misuse).
//
// Contract:
//  - dataIsValidPacket(candidate): the descriptor's test. The test made by each
//    factory:
//      initWithMaximumPacketLength: the given evaluator, or, without one, "any
//        non-empty candidate".
//      initWithPacketData: byte-for-byte equal to packetData().
//      initWithPrefix / initWithPrefixString: starts with the prefix (when there
//        is one) and ends with the suffix (when there is a non-empty one); the
//        candidate must be at least as long as each of them; with neither a
//        prefix nor a suffix nothing is accepted. Prefix and suffix may overlap
//        inside a short candidate (prefix AB, suffix BC accept ABC).
//      initWithRegularExpression: the candidate is valid UTF-8 and the
//        expression matches at the very start of its text; the match need not
//        reach the end.
//  - packetMatchingAtEndOfBuffer(buffer): the shortest tail of the buffer that
//    the test accepts, trying 1, 2, ... bytes; none for an empty buffer or when
//    no tail is accepted. A result always ends with the buffer's last byte.
//  - maximumPacketLength(): the size of the buffers a port keeps for the
//    descriptor; 0 means a port never collects a packet for it.
//  - Identity: every descriptor gets a new uuid(); two descriptors are equal
//    exactly when their uuids are, and hash as their uuid. Descriptors are not
//    copyable, so equal descriptors are the same object.
//  - Thread safety: all members are const after creation; the descriptor can be
//    used from several threads at once as long as a caller-supplied evaluator
//    can.

#include <QByteArray>
#include <QByteArrayView>
#include <QHashFunctions>
#include <QRegularExpression>
#include <QString>
#include <QUuid>
#include <any>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

namespace ostrel {

class PelSerialPacketDescriptor {
  struct Key {
    explicit Key() = default;
  };

 public:
  using Evaluator = std::function<bool(const QByteArray&)>;
  using Ref = std::shared_ptr<PelSerialPacketDescriptor>;

  // The designated form. An empty evaluator accepts every non-empty candidate.
  static Ref initWithMaximumPacketLength(quint64 maximumPacketLength, std::any userInfo = {},
                                         Evaluator responseEvaluator = {});
  // maximumPacketLength() is the packet's length.
  static Ref initWithPacketData(const QByteArray& packetData, std::any userInfo = {});
  // std::nullopt is "no prefix" / "no suffix"; an empty array is an empty one.
  static Ref initWithPrefix(std::optional<QByteArray> prefix, std::optional<QByteArray> suffix,
                            quint64 maximumPacketLength, std::any userInfo = {});
  // The UTF-8 encodings of the strings; a missing string is a missing prefix or suffix.
  static Ref initWithPrefixString(const std::optional<QString>& prefixString,
                                  const std::optional<QString>& suffixString, quint64 maximumPacketLength,
                                  std::any userInfo = {});
  // Returns nullptr (and logs the pattern error) for an expression that does not
  // compile: such a descriptor could never accept anything.
  static Ref initWithRegularExpression(const QRegularExpression& regularExpression, quint64 maximumPacketLength,
                                       std::any userInfo = {});

  // Public only for std::make_shared; Key keeps it private in practice.
  PelSerialPacketDescriptor(Key, quint64 maximumPacketLength, std::any userInfo);
  PelSerialPacketDescriptor(const PelSerialPacketDescriptor&) = delete;
  PelSerialPacketDescriptor& operator=(const PelSerialPacketDescriptor&) = delete;

  const QByteArray& packetData() const { return packetData_; }
  const std::optional<QByteArray>& prefix() const { return prefix_; }
  const std::optional<QByteArray>& suffix() const { return suffix_; }
  const QRegularExpression& regularExpression() const { return regularExpression_; }
  quint64 maximumPacketLength() const { return maximumPacketLength_; }
  const std::any& userInfo() const { return userInfo_; }
  const QUuid& uuid() const { return uuid_; }
  // The test as a plain function of a byte string (for the built-in kinds, a
  // wrapper around the same test dataIsValidPacket() runs).
  const Evaluator& responseEvaluator() const { return responseEvaluator_; }

  bool dataIsValidPacket(const QByteArray& data) const;
  std::optional<QByteArray> packetMatchingAtEndOfBuffer(const QByteArray& buffer) const;

  bool isEqual(const PelSerialPacketDescriptor& other) const { return uuid_ == other.uuid_; }
  size_t hash() const { return qHash(uuid_); }
  bool operator==(const PelSerialPacketDescriptor& other) const { return isEqual(other); }

  // "<PelSerialPacketDescriptor: 0x...>" for log lines.
  QString description() const;

 private:
  // The built-in tests look at the candidate in place; only a caller's
  // evaluator needs a byte string of its own.
  using ViewTest = std::function<bool(QByteArrayView)>;
  // Kinds whose shortest accepted tail follows from their rule directly; the
  // others try every tail.
  enum class Kind { Tested, NonEmpty, PacketData, PrefixSuffix, RegularExpression };

  bool test(QByteArrayView candidate) const;
  std::optional<qsizetype> prefixSuffixTailLength(QByteArrayView buffer) const;
  // Empty optional: the buffer is not valid UTF-8 as a whole; try every tail.
  std::optional<std::optional<qsizetype>> regularExpressionTailLength(QByteArrayView buffer) const;
  static Ref withViewTest(quint64 maximumPacketLength, std::any userInfo, ViewTest viewTest, Kind kind);

  QByteArray packetData_;
  std::optional<QByteArray> prefix_;
  std::optional<QByteArray> suffix_;
  QRegularExpression regularExpression_;
  quint64 maximumPacketLength_ = 0;
  std::any userInfo_;
  QUuid uuid_;
  Evaluator responseEvaluator_;
  ViewTest viewTest_;
  Kind kind_ = Kind::Tested;
};

inline size_t qHash(const PelSerialPacketDescriptor& descriptor, size_t seed = 0) {
  return qHash(descriptor.uuid(), seed);
}

// For maps keyed by descriptor references: hash and compare what they point to
// (an empty reference hashes as 0 and equals only another empty one).
struct PelSerialPacketDescriptorRefHash {
  size_t operator()(const std::shared_ptr<PelSerialPacketDescriptor>& d) const { return d ? d->hash() : 0; }
};
struct PelSerialPacketDescriptorRefEqual {
  bool operator()(const std::shared_ptr<PelSerialPacketDescriptor>& a,
                  const std::shared_ptr<PelSerialPacketDescriptor>& b) const {
    if (!a || !b) return a == b;
    return a->isEqual(*b);
  }
};

}  // namespace ostrel

template <>
struct std::hash<ostrel::PelSerialPacketDescriptor> {
  size_t operator()(const ostrel::PelSerialPacketDescriptor& d) const { return d.hash(); }
};
