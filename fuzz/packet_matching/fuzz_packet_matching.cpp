// Finds the packet at the end of arbitrary buffers with every kind of packet
// descriptor and checks what every answer must satisfy: it is a non-empty tail
// of the buffer, the descriptor accepts it, no shorter tail is accepted, and the
// descriptor's verdicts agree with a plain restatement of its rule.
//
// Input layout: byte 0 picks the kind; then, per kind, length-prefixed fields
// (one length byte each) or table indices; the rest is the buffer.

#include "serial/PelSerialPacketDescriptor.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

using ostrel::PelSerialPacketDescriptor;

// Keeps each run quick: the shortest-tail check is quadratic.
constexpr qsizetype kMaximumBuffer = 512;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  QByteArray field() {
    const size_t want = byte() % 16;
    const size_t take = want < size_ - pos_ ? want : size_ - pos_;
    QByteArray out(reinterpret_cast<const char*>(data_ + pos_), static_cast<qsizetype>(take));
    pos_ += take;
    return out;
  }
  std::optional<QByteArray> optionalField() {
    if (byte() % 2 == 0) return std::nullopt;
    return field();
  }
  QByteArray rest() {
    const size_t take = size_ - pos_;
    return QByteArray(reinterpret_cast<const char*>(data_ + pos_), static_cast<qsizetype>(take)).left(kMaximumBuffer);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

void require(bool condition) {
  if (!condition) std::abort();
}

bool startsWith(const QByteArray& data, const QByteArray& head) {
  return data.size() >= head.size() && data.left(head.size()) == head;
}
bool endsWith(const QByteArray& data, const QByteArray& tail) {
  return data.size() >= tail.size() && data.right(tail.size()) == tail;
}

bool prefixSuffixRule(const std::optional<QByteArray>& prefix, const std::optional<QByteArray>& suffix,
                      const QByteArray& c) {
  if (!prefix && !suffix) return false;
  if (prefix && !startsWith(c, *prefix)) return false;
  if (suffix && !endsWith(c, *suffix)) return false;
  return true;
}

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF),
// decoded by hand, independently of Qt's decoder; every byte-order mark stays a
// character. None for invalid input.
std::optional<QString> strictUtf8(const QByteArray& c) {
  QString text;
  qsizetype i = 0;
  while (i < c.size()) {
    const auto b = static_cast<unsigned char>(c[i]);
    int extra = 0;
    char32_t cp = 0;
    if (b < 0x80) {
      cp = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3;
      cp = b & 0x07;
    } else {
      return std::nullopt;
    }
    if (i + extra >= c.size()) return std::nullopt;
    for (int k = 1; k <= extra; ++k) {
      const auto t = static_cast<unsigned char>(c[i + k]);
      if ((t & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (t & 0x3F);
    }
    if (extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return std::nullopt;
    if (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) return std::nullopt;
    if (cp > 0xFFFF) {
      text.append(QChar(QChar::highSurrogate(cp)));
      text.append(QChar(QChar::lowSurrogate(cp)));
    } else {
      text.append(QChar(static_cast<char16_t>(cp)));
    }
    i += extra + 1;
  }
  return text;
}

const char* const kPatterns[] = {
    "\\d+",
    "[A-F0-9]{4}",
    "OK",
    "a*",
    "(ab|cd)+;",
    "\\x{00e9}",
    ".",
    "^\\s*$",
    "[^\\x00]+\\x00",
    "5FF5..",
    // What a match may see around the candidate: nothing before its start.
    "(?<!a)b",
    "\\bab",
    "\\x{feff}?.$",
    "\\X\\X",
    "[\\x{10000}-\\x{10ffff}]",
};

// Evaluators that are easy to restate independently.
bool evaluatorRule(int which, const QByteArray& c) {
  switch (which) {
    case 0:
      return c.size() >= 2 && c.front() == c.back();
    case 1:
      return c.size() % 3 == 0 && !c.isEmpty();
    case 2:
      return c.count('\n') == 1;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in(data, size);
  const int kind = in.byte() % 6;
  PelSerialPacketDescriptor::Ref descriptor;
  std::function<bool(const QByteArray&)> rule;

  switch (kind) {
    case 0: {
      const QByteArray packet = in.field();
      descriptor = PelSerialPacketDescriptor::initWithPacketData(packet);
      require(descriptor->maximumPacketLength() == static_cast<quint64>(packet.size()));
      rule = [packet](const QByteArray& c) { return !c.isEmpty() && c == packet; };
      break;
    }
    case 1:
    case 2:
    case 3: {
      // Prefix only, suffix only, or both (each possibly empty).
      std::optional<QByteArray> prefix = kind != 2 ? std::optional<QByteArray>(in.field()) : std::nullopt;
      std::optional<QByteArray> suffix = kind != 1 ? std::optional<QByteArray>(in.field()) : std::nullopt;
      if (in.byte() % 4 == 0) prefix.reset();
      descriptor = PelSerialPacketDescriptor::initWithPrefix(prefix, suffix, 1u << 20);
      rule = [prefix, suffix](const QByteArray& c) { return prefixSuffixRule(prefix, suffix, c); };
      break;
    }
    case 4: {
      const QString pattern = QString::fromLatin1(kPatterns[in.byte() % std::size(kPatterns)]);
      descriptor = PelSerialPacketDescriptor::initWithRegularExpression(QRegularExpression(pattern), 1u << 20);
      require(descriptor != nullptr);
      const QRegularExpression anchored(QStringLiteral("\\A(?:") + pattern + QStringLiteral(")"));
      rule = [anchored](const QByteArray& c) {
        const std::optional<QString> text = strictUtf8(c);
        return text && anchored.match(*text).hasMatch();
      };
      break;
    }
    default: {
      const int which = in.byte() % 4;
      if (which == 3) {
        descriptor = PelSerialPacketDescriptor::initWithMaximumPacketLength(1u << 20);
        rule = [](const QByteArray& c) { return !c.isEmpty(); };
      } else {
        descriptor = PelSerialPacketDescriptor::initWithMaximumPacketLength(
            1u << 20, {}, [which](const QByteArray& c) { return evaluatorRule(which, c); });
        rule = [which](const QByteArray& c) { return evaluatorRule(which, c); };
      }
      break;
    }
  }

  const QByteArray buffer = in.rest();
  const std::optional<QByteArray> packet = descriptor->packetMatchingAtEndOfBuffer(buffer);
  const qsizetype acceptedLength = packet ? packet->size() : buffer.size() + 1;
  if (packet) {
    require(!packet->isEmpty());
    require(endsWith(buffer, *packet));
    require(descriptor->dataIsValidPacket(*packet));
  }
  for (qsizetype n = 1; n <= buffer.size() && n <= acceptedLength; ++n) {
    const QByteArray tail = buffer.right(n);
    const bool verdict = descriptor->dataIsValidPacket(tail);
    require(verdict == rule(tail));
    require(verdict == (n == acceptedLength));
  }
  return 0;
}
