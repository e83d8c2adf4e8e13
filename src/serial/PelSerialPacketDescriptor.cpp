#include "serial/PelSerialPacketDescriptor.h"

#include "common/Log.h"

#include <QStringDecoder>
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

bool regularExpressionAccepts(const QRegularExpression& expression, QByteArrayView candidate) {
  // Stateless: a sequence cut off at the end is an error, not pending input.
  // A leading byte-order mark stays in the text: every byte of a packet counts,
  // so "^$" must not accept the three bytes of a mark.
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
  const QString text = decoder.decode(candidate);
  if (decoder.hasError()) return false;
  return expression.match(text, 0, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption)
      .hasMatch();
}

}  // namespace

PelSerialPacketDescriptor::PelSerialPacketDescriptor(Key, quint64 maximumPacketLength, std::any userInfo)
    : maximumPacketLength_(maximumPacketLength), userInfo_(std::move(userInfo)), uuid_(QUuid::createUuid()) {}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::initWithMaximumPacketLength(quint64 maximumPacketLength,
                                                                                      std::any userInfo,
                                                                                      Evaluator responseEvaluator) {
  if (!responseEvaluator) {
    return withViewTest(maximumPacketLength, std::move(userInfo),
                        [](QByteArrayView candidate) { return !candidate.isEmpty(); });
  }
  auto descriptor = std::make_shared<PelSerialPacketDescriptor>(Key{}, maximumPacketLength, std::move(userInfo));
  descriptor->responseEvaluator_ = std::move(responseEvaluator);
  return descriptor;
}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::withViewTest(quint64 maximumPacketLength, std::any userInfo,
                                                                       ViewTest viewTest) {
  auto descriptor = std::make_shared<PelSerialPacketDescriptor>(Key{}, maximumPacketLength, std::move(userInfo));
  // The wrapper holds its own copy of the test so that it stays usable when
  // handed out beyond the descriptor's life.
  descriptor->responseEvaluator_ = [viewTest](const QByteArray& data) { return viewTest(data); };
  descriptor->viewTest_ = std::move(viewTest);
  return descriptor;
}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::initWithPacketData(const QByteArray& packetData,
                                                                             std::any userInfo) {
  auto descriptor = withViewTest(static_cast<quint64>(packetData.size()), std::move(userInfo),
                                 [packetData](QByteArrayView candidate) { return candidate == packetData; });
  descriptor->packetData_ = packetData;
  return descriptor;
}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::initWithPrefix(std::optional<QByteArray> prefix,
                                                                         std::optional<QByteArray> suffix,
                                                                         quint64 maximumPacketLength,
                                                                         std::any userInfo) {
  auto descriptor = withViewTest(maximumPacketLength, std::move(userInfo),
                                 [prefix, suffix](QByteArrayView candidate) {
                                   return prefixSuffixAccepts(prefix, suffix, candidate);
                                 });
  descriptor->prefix_ = std::move(prefix);
  descriptor->suffix_ = std::move(suffix);
  return descriptor;
}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::initWithPrefixString(
    const std::optional<QString>& prefixString, const std::optional<QString>& suffixString,
    quint64 maximumPacketLength, std::any userInfo) {
  std::optional<QByteArray> prefix;
  std::optional<QByteArray> suffix;
  if (prefixString) prefix = prefixString->toUtf8();
  if (suffixString) suffix = suffixString->toUtf8();
  return initWithPrefix(std::move(prefix), std::move(suffix), maximumPacketLength, std::move(userInfo));
}

PelSerialPacketDescriptor::Ref PelSerialPacketDescriptor::initWithRegularExpression(
    const QRegularExpression& regularExpression, quint64 maximumPacketLength, std::any userInfo) {
  if (!regularExpression.isValid()) {
    log("PelSerialPacketDescriptor invalid regular expression \"%@\" at offset %ld: %@",
        regularExpression.pattern(), static_cast<long>(regularExpression.patternErrorOffset()),
        regularExpression.errorString());
    return nullptr;
  }
  // Compile now so that matching from several threads only reads shared state.
  regularExpression.optimize();
  auto descriptor = withViewTest(maximumPacketLength, std::move(userInfo),
                                 [regularExpression](QByteArrayView candidate) {
                                   return regularExpressionAccepts(regularExpression, candidate);
                                 });
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
  const QByteArrayView whole(buffer);
  for (qsizetype n = 1; n <= whole.size(); ++n) {
    if (test(whole.last(n))) return buffer.right(n);
  }
  return std::nullopt;
}

QString PelSerialPacketDescriptor::description() const {
  return QString::asprintf("<PelSerialPacketDescriptor: %p>", static_cast<const void*>(this));
}

}  // namespace ostrel
