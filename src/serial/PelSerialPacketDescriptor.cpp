#include "serial/PelSerialPacketDescriptor.h"

#include "common/Log.h"

#include <QStringDecoder>
#include <algorithm>
#include <utility>

namespace ostrel {

namespace {

// The prefix/suffix rule, on a candidate of at least one byte.
bool prefixSuffixAccepts(const std::optional<QByteArray>& prefix, const std::optional<QByteArray>& suffix,
                         QByteArrayView candidate) {
  const qsizetype length = candidate.size();
  if (!prefix && !suffix) return false;
  if (prefix && prefix->size() > length) return false;
  if (suffix && suffix->size() > length) return false;
  if (prefix && !candidate.startsWith(*prefix)) return false;
  if (!suffix || suffix->isEmpty()) return true;
  return candidate.endsWith(*suffix);
}

// Strict decoding: none for anything that is not valid UTF-8.
std::optional<QString> decodeUtf8(QByteArrayView bytes) {
  // Stateless: a sequence cut off at the end is an error, not pending input.
  // A leading byte-order mark stays in the text: every byte of a packet counts,
  // so "^$" must not accept the three bytes of a mark (and a tail's text is
  // then always the tail of the whole text).
  QStringDecoder decoder(QStringDecoder::Utf8,
                         QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) return std::nullopt;
  return text;
}

bool matchesAtStart(const QRegularExpression& expression, QStringView text) {
  // A view is matched without a copy: Qt 6.5 named that matchView() and later
  // releases deprecate match() for views; Qt 6.4 has only match().
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
  return expression
      .matchView(text, 0, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption)
      .hasMatch();
#else
  return expression.match(text, 0, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption)
      .hasMatch();
#endif
}

bool regularExpressionAccepts(const QRegularExpression& expression, QByteArrayView candidate) {
  const auto text = decodeUtf8(candidate);
  return text && matchesAtStart(expression, *text);
}

bool isContinuationByte(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// UTF-16 units of the character a lead byte starts.
qsizetype utf16Units(char leadByte) {
  return static_cast<unsigned char>(leadByte) >= 0xF0 ? 2 : 1;
}

}  // namespace

PelSerialPacketDescriptor::PelSerialPacketDescriptor(Key, quint64 maximumPacketLength, std::any userInfo)
    : maximumPacketLength_(maximumPacketLength), userInfo_(std::move(userInfo)), uuid_(QUuid::createUuid()) {}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::initWithMaximumPacketLength(quint64 maximumPacketLength,
                                                                                      std::any userInfo,
                                                                                      Evaluator responseEvaluator) {
  if (!responseEvaluator) {
    return withViewTest(
        maximumPacketLength, std::move(userInfo), [](QByteArrayView candidate) { return !candidate.isEmpty(); },
        Kind::NonEmpty);
  }
  auto descriptor = std::make_shared<PelSerialPacketDescriptor>(Key{}, maximumPacketLength, std::move(userInfo));
  descriptor->responseEvaluator_ = std::move(responseEvaluator);
  return descriptor;
}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::withViewTest(quint64 maximumPacketLength, std::any userInfo,
                                                                       ViewTest viewTest, Kind kind) {
  auto descriptor = std::make_shared<PelSerialPacketDescriptor>(Key{}, maximumPacketLength, std::move(userInfo));
  // The wrapper holds its own copy of the test so that it stays usable when
  // handed out beyond the descriptor's life.
  descriptor->responseEvaluator_ = [viewTest](const QByteArray& data) { return viewTest(data); };
  descriptor->viewTest_ = std::move(viewTest);
  descriptor->kind_ = kind;
  return descriptor;
}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::initWithPacketData(const QByteArray& packetData,
                                                                             std::any userInfo) {
  auto descriptor = withViewTest(
      static_cast<quint64>(packetData.size()), std::move(userInfo),
      [packetData](QByteArrayView candidate) { return candidate == packetData; }, Kind::PacketData);
  descriptor->packetData_ = packetData;
  return descriptor;
}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::initWithPrefix(std::optional<QByteArray> prefix,
                                                                         std::optional<QByteArray> suffix,
                                                                         quint64 maximumPacketLength,
                                                                         std::any userInfo) {
  auto descriptor = withViewTest(
      maximumPacketLength, std::move(userInfo),
      [prefix, suffix](QByteArrayView candidate) { return prefixSuffixAccepts(prefix, suffix, candidate); },
      Kind::PrefixSuffix);
  descriptor->prefix_ = std::move(prefix);
  descriptor->suffix_ = std::move(suffix);
  return descriptor;
}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::initWithPrefixString(
    const std::optional<QString>& prefixString, const std::optional<QString>& suffixString, quint64 maximumPacketLength,
    std::any userInfo) {
  std::optional<QByteArray> prefix;
  std::optional<QByteArray> suffix;
  if (prefixString) prefix = prefixString->toUtf8();
  if (suffixString) suffix = suffixString->toUtf8();
  return initWithPrefix(std::move(prefix), std::move(suffix), maximumPacketLength, std::move(userInfo));
}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::initWithRegularExpression(
    const QRegularExpression& regularExpression, quint64 maximumPacketLength, std::any userInfo) {
  if (!regularExpression.isValid()) {
    log("PelSerialPacketDescriptor invalid regular expression \"%@\" at offset %ld: %@", regularExpression.pattern(),
        static_cast<long>(regularExpression.patternErrorOffset()), regularExpression.errorString());
    return nullptr;
  }
  // Compile now so that matching from several threads only reads shared state.
  regularExpression.optimize();
  auto descriptor = withViewTest(
      maximumPacketLength, std::move(userInfo),
      [regularExpression](QByteArrayView candidate) { return regularExpressionAccepts(regularExpression, candidate); },
      Kind::RegularExpression);
  descriptor->regularExpression_ = regularExpression;
  return descriptor;
}

bool PelSerialPacketDescriptor::test(QByteArrayView candidate) const {
  if (viewTest_) return viewTest_(candidate);
  if (responseEvaluator_) return responseEvaluator_(candidate.toByteArray());
  return true;
}

bool PelSerialPacketDescriptor::dataIsValidPacket(const QByteArray& data) const {
  if (viewTest_) return viewTest_(data);
  if (responseEvaluator_) return responseEvaluator_(data);
  return true;
}

std::optional<QByteArray> PelSerialPacketDescriptor::packetMatchingAtEndOfBuffer(const QByteArray& buffer) const {
  // A port asks this after every received byte, so the kinds whose answer
  // follows from their rule skip the tail-by-tail search.
  const QByteArrayView whole(buffer);
  switch (kind_) {
    case Kind::NonEmpty:
      if (whole.isEmpty()) return std::nullopt;
      return buffer.right(1);
    case Kind::PacketData:
      if (packetData_.isEmpty() || !whole.endsWith(packetData_)) return std::nullopt;
      return buffer.right(packetData_.size());
    case Kind::PrefixSuffix: {
      const auto length = prefixSuffixTailLength(whole);
      if (!length) return std::nullopt;
      return buffer.right(*length);
    }
    case Kind::RegularExpression: {
      const auto length = regularExpressionTailLength(whole);
      if (!length) break;
      if (!*length) return std::nullopt;
      return buffer.right(**length);
    }
    case Kind::Tested:
      break;
  }
  for (qsizetype n = 1; n <= whole.size(); ++n) {
    if (test(whole.last(n))) return buffer.right(n);
  }
  return std::nullopt;
}

std::optional<std::optional<qsizetype>> PelSerialPacketDescriptor::regularExpressionTailLength(
    QByteArrayView buffer) const {
  // Decoding every tail anew costs time quadratic in the buffer. When the whole
  // buffer is valid, the tails that start on a character are exactly the valid
  // ones, and each one's text is a tail of the whole text.
  const auto text = decodeUtf8(buffer);
  if (!text) return std::nullopt;
  qsizetype units = 0;
  for (qsizetype start = buffer.size() - 1; start >= 0; --start) {
    if (isContinuationByte(buffer[start])) continue;
    units += utf16Units(buffer[start]);
    if (matchesAtStart(regularExpression_, QStringView(*text).last(units))) {
      return std::optional<qsizetype>(buffer.size() - start);
    }
  }
  return std::optional<qsizetype>();
}

std::optional<qsizetype> PelSerialPacketDescriptor::prefixSuffixTailLength(QByteArrayView buffer) const {
  if (!prefix_ && !suffix_) return std::nullopt;
  // Every tail ends where the buffer ends, so the suffix is checked once.
  if (suffix_ && !buffer.endsWith(*suffix_)) return std::nullopt;
  const qsizetype shortest =
      std::max({qsizetype{1}, prefix_ ? prefix_->size() : qsizetype{0}, suffix_ ? suffix_->size() : qsizetype{0}});
  if (shortest > buffer.size()) return std::nullopt;
  const qsizetype latestStart = buffer.size() - shortest;
  if (!prefix_ || prefix_->isEmpty()) return shortest;
  // The prefix occurrence nearest the end (at or before latestStart) gives the
  // shortest tail.
  const qsizetype start = buffer.lastIndexOf(*prefix_, latestStart);
  if (start < 0) return std::nullopt;
  return buffer.size() - start;
}

QString PelSerialPacketDescriptor::description() const {
  return QString::asprintf("<PelSerialPacketDescriptor: %p>", static_cast<const void*>(this));
}

}  // namespace ostrel
