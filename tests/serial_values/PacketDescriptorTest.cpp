#include "serial/PelSerialPacketDescriptor.h"

#include "common/Log.h"

#include <gtest/gtest.h>

#include <QSet>
#include <functional>
#include <limits>
#include <unordered_map>
#include <unordered_set>

namespace {

using ostrel::PelSerialPacketDescriptor;
using Ref = PelSerialPacketDescriptor::Ref;
using Make = std::function<Ref()>;
constexpr std::nullopt_t none = std::nullopt;

QByteArray bytes(const char* s) {
  return QByteArray(s);
}

Ref packet(const char* data) {
  return PelSerialPacketDescriptor::initWithPacketData(bytes(data));
}
Ref prefixSuffix(std::optional<QByteArray> prefix, std::optional<QByteArray> suffix) {
  return PelSerialPacketDescriptor::initWithPrefix(std::move(prefix), std::move(suffix), 64);
}
Ref strings(std::optional<QString> prefix, std::optional<QString> suffix) {
  return PelSerialPacketDescriptor::initWithPrefixString(prefix, suffix, 64);
}
Ref regex(const char* pattern) {
  return PelSerialPacketDescriptor::initWithRegularExpression(QRegularExpression(QString::fromUtf8(pattern)), 64);
}

struct MatchCase {
  const char* label;
  Make make;
  QByteArray buffer;
  std::optional<QByteArray> want;
};

TEST(PelSerialPacketDescriptor, PacketMatchingAtEndOfBuffer) {
  const MatchCase cases[] = {
      {"packet data at the end", [] { return packet("AB"); }, "XAB", bytes("AB")},
      {"packet data not at the end", [] { return packet("AB"); }, "ABX", none},
      {"packet data is the whole buffer", [] { return packet("AB"); }, "AB", bytes("AB")},
      {"buffer shorter than the packet", [] { return packet("AB"); }, "B", none},
      {"empty buffer", [] { return packet("AB"); }, "", none},
      {"empty packet data matches nothing", [] { return packet(""); }, "X", none},
      {"packet data with zero bytes",
       [] { return PelSerialPacketDescriptor::initWithPacketData(QByteArray("\0\1", 2)); }, QByteArray("\1\0\1", 3),
       QByteArray("\0\1", 2)},
      {"prefix only: the one-byte tail wins", [] { return prefixSuffix(bytes("A"), none); }, "XAYA", bytes("A")},
      {"prefix only: longer prefix", [] { return prefixSuffix(bytes("AY"), none); }, "XAYA", bytes("AYA")},
      {"prefix only: absent", [] { return prefixSuffix(bytes("Q"), none); }, "XAYA", none},
      {"suffix only", [] { return prefixSuffix(none, bytes("\r\n")); }, "abc\r\n", bytes("\r\n")},
      {"suffix only: not at the end", [] { return prefixSuffix(none, bytes("\r\n")); }, "abc\r\nx", none},
      {"suffix only: buffer shorter than the suffix", [] { return prefixSuffix(none, bytes("\r\n")); }, "\n", none},
      {"prefix and suffix", [] { return prefixSuffix(bytes("$"), bytes("\n")); }, "x$ab\n", bytes("$ab\n")},
      {"prefix and suffix: latest prefix wins", [] { return prefixSuffix(bytes("$"), bytes("\n")); }, "$a$b\n",
       bytes("$b\n")},
      {"prefix and suffix: suffix missing", [] { return prefixSuffix(bytes("$"), bytes("\n")); }, "$ab", none},
      {"prefix and suffix overlap", [] { return prefixSuffix(bytes("AB"), bytes("BC")); }, "ABC", bytes("ABC")},
      {"overlap needs the whole prefix", [] { return prefixSuffix(bytes("AB"), bytes("BC")); }, "XBC", none},
      {"prefix equal to suffix", [] { return prefixSuffix(bytes("ABC"), bytes("ABC")); }, "xABC", bytes("ABC")},
      {"suffix longer than the shortest prefixed tail", [] { return prefixSuffix(bytes("A"), bytes("XYZ")); }, "AXYZ",
       bytes("AXYZ")},
      {"suffix does not fit", [] { return prefixSuffix(bytes("A"), bytes("XYZ")); }, "AYZ", none},
      {"neither prefix nor suffix", [] { return prefixSuffix(none, none); }, "abc", none},
      {"empty prefix accepts one byte", [] { return prefixSuffix(bytes(""), none); }, "xyz", bytes("z")},
      {"empty suffix with a prefix", [] { return prefixSuffix(bytes("A"), bytes("")); }, "AB", bytes("AB")},
      {"empty suffix alone", [] { return prefixSuffix(none, bytes("")); }, "xy", bytes("y")},
      {"prefix string", [] { return strings(QStringLiteral("#"), none); }, "a#b", bytes("#b")},
      {"strings are UTF-8", [] { return strings(QStringLiteral("é"), QStringLiteral("!")); }, "x\xc3\xa9z!",
       bytes("\xc3\xa9z!")},
      {"no strings accept nothing", [] { return strings(none, none); }, "abc", none},
      {"regex: shortest tail", [] { return regex("\\d+"); }, "ab12", bytes("2")},
      {"regex: text after the match", [] { return regex("\\d"); }, "12ab", bytes("2ab")},
      {"regex: anchored at the start", [] { return regex("b"); }, "ab", bytes("b")},
      {"regex: not at the start of any tail", [] { return regex("Z"); }, "abc", none},
      {"regex: invalid UTF-8 refused", [] { return regex("\\d"); }, "1\xff", none},
      {"regex: valid tail after invalid byte", [] { return regex("\\d"); },
       "\xff"
       "1",
       bytes("1")},
      {"regex: cut-off sequence refused", [] { return regex("."); }, "\xc3", none},
      {"regex: whole multibyte character", [] { return regex("é"); }, "x\xc3\xa9", bytes("\xc3\xa9")},
      {"regex: character outside the basic plane", [] { return regex("[\\x{10000}-\\x{10ffff}]x"); },
       "a\xf0\x9f\x98\x80x", bytes("\xf0\x9f\x98\x80x")},
      {"regex: nothing before the tail is seen", [] { return regex("(?<!a)b"); }, "ab", bytes("b")},
      {"regex: empty match counts", [] { return regex("a*"); }, "xyz", bytes("z")},
      {"regex: whole-line pattern", [] { return regex("OK\\r\\n$"); }, "xxOK\r\n", bytes("OK\r\n")},
      {"no evaluator: any non-empty tail", [] { return PelSerialPacketDescriptor::initWithMaximumPacketLength(8); },
       "abc", bytes("c")},
      {"no evaluator: empty buffer", [] { return PelSerialPacketDescriptor::initWithMaximumPacketLength(8); }, "",
       none},
      {"evaluator",
       [] {
         return PelSerialPacketDescriptor::initWithMaximumPacketLength(
             8, {}, [](const QByteArray& d) { return d.size() >= 3 && d.endsWith(';'); });
       },
       "ab;cd;", bytes("cd;")},
      {"evaluator refusing all",
       [] {
         return PelSerialPacketDescriptor::initWithMaximumPacketLength(8, {}, [](const QByteArray&) { return false; });
       },
       "abc", none},
  };
  for (const auto& c : cases) {
    const Ref d = c.make();
    ASSERT_TRUE(d) << c.label;
    const auto got = d->packetMatchingAtEndOfBuffer(c.buffer);
    EXPECT_EQ(got, c.want) << c.label;
    if (got) {
      EXPECT_TRUE(d->dataIsValidPacket(*got)) << c.label;
    }
  }
}

struct ValidCase {
  const char* label;
  Make make;
  QByteArray candidate;
  bool want;
};

TEST(PelSerialPacketDescriptor, DataIsValidPacket) {
  const ValidCase cases[] = {
      {"packet data equal", [] { return packet("AB"); }, "AB", true},
      {"packet data longer", [] { return packet("AB"); }, "ABX", false},
      {"packet data differs", [] { return packet("AB"); }, "AC", false},
      {"prefix and suffix around text", [] { return prefixSuffix(bytes("<"), bytes(">")); }, "<abc>", true},
      {"prefix and suffix: prefix in the middle", [] { return prefixSuffix(bytes("<"), bytes(">")); }, "a<bc>", false},
      {"prefix longer than the candidate", [] { return prefixSuffix(bytes("ABC"), none); }, "AB", false},
      {"suffix compared at the end", [] { return prefixSuffix(none, bytes("xy")); }, "xyxz", false},
      {"neither", [] { return prefixSuffix(none, none); }, "anything", false},
      {"regex match with trailing text", [] { return regex("[0-9]+"); }, "12ab", true},
      {"regex not at the start", [] { return regex("[0-9]+"); }, "ab12", false},
      {"regex on invalid UTF-8", [] { return regex(".*"); }, "\xff", false},
      {"regex on overlong encoding", [] { return regex(".*"); }, "\xc0\xaf", false},
      {"regex on an encoded surrogate", [] { return regex(".*"); }, "\xed\xa0\x80", false},
      {"regex on empty text", [] { return regex(".*"); }, "", true},
      {"byte-order mark is a character", [] { return regex("\\x{feff}A"); },
       "\xef\xbb\xbf"
       "A",
       true},
      {"byte-order mark is not empty text", [] { return regex("$"); }, "\xef\xbb\xbf", false},
      {"default test refuses empty", [] { return PelSerialPacketDescriptor::initWithMaximumPacketLength(1); }, "",
       false},
      {"default test accepts bytes", [] { return PelSerialPacketDescriptor::initWithMaximumPacketLength(1); },
       QByteArray("\0", 1), true},
  };
  for (const auto& c : cases) {
    const Ref d = c.make();
    ASSERT_TRUE(d) << c.label;
    EXPECT_EQ(d->dataIsValidPacket(c.candidate), c.want) << c.label;
    EXPECT_EQ(d->responseEvaluator()(c.candidate), c.want) << c.label << " (through responseEvaluator)";
  }
}

TEST(PelSerialPacketDescriptor, CandidatesAreTheTailsFromShortestToAcceptedOne) {
  QList<QByteArray> seen;
  const auto d = PelSerialPacketDescriptor::initWithMaximumPacketLength(100, {}, [&seen](const QByteArray& c) {
    seen << c;
    return c.startsWith('[');
  });
  EXPECT_EQ(d->packetMatchingAtEndOfBuffer("x[ab[cd"), std::optional<QByteArray>("[cd"));
  EXPECT_EQ(seen, (QList<QByteArray>{"d", "cd", "[cd"}));

  seen.clear();
  EXPECT_EQ(d->packetMatchingAtEndOfBuffer("abc"), std::nullopt);
  EXPECT_EQ(seen, (QList<QByteArray>{"c", "bc", "abc"}));
}

TEST(PelSerialPacketDescriptor, StoredValues) {
  const quint64 huge = std::numeric_limits<quint64>::max();
  const auto data = PelSerialPacketDescriptor::initWithPacketData("hello", QStringLiteral("info"));
  EXPECT_EQ(data->packetData(), QByteArray("hello"));
  EXPECT_EQ(data->maximumPacketLength(), 5u);
  EXPECT_EQ(std::any_cast<QString>(data->userInfo()), QStringLiteral("info"));
  EXPECT_FALSE(data->prefix());
  EXPECT_FALSE(data->suffix());

  const auto ps = PelSerialPacketDescriptor::initWithPrefix(QByteArray("<"), std::nullopt, huge, 7);
  EXPECT_EQ(ps->prefix(), std::optional<QByteArray>("<"));
  EXPECT_FALSE(ps->suffix());
  EXPECT_EQ(ps->maximumPacketLength(), huge);
  EXPECT_EQ(std::any_cast<int>(ps->userInfo()), 7);

  const auto str = PelSerialPacketDescriptor::initWithPrefixString(std::nullopt, QStringLiteral("终"), 3);
  EXPECT_FALSE(str->prefix());
  EXPECT_EQ(str->suffix(), std::optional<QByteArray>(QStringLiteral("终").toUtf8()));

  const QRegularExpression re(QStringLiteral("a+"));
  const auto rx = PelSerialPacketDescriptor::initWithRegularExpression(re, 0);
  EXPECT_EQ(rx->regularExpression(), re);
  EXPECT_EQ(rx->maximumPacketLength(), 0u);
  EXPECT_FALSE(rx->userInfo().has_value());
}

TEST(PelSerialPacketDescriptor, InvalidRegularExpressionIsRefusedWithALogLine) {
  ostrel::LogCapture capture;
  EXPECT_EQ(PelSerialPacketDescriptor::initWithRegularExpression(QRegularExpression(QStringLiteral("(ab")), 10),
            nullptr);
  ASSERT_EQ(capture.lines().size(), 1);
  EXPECT_TRUE(capture.lines().first().contains(QStringLiteral("\"(ab\""))) << capture.lines().first().toStdString();
}

TEST(PelSerialPacketDescriptor, IdentityIsTheUuid) {
  const auto a = packet("AB");
  const auto b = packet("AB");
  EXPECT_FALSE(a->isEqual(*b));
  EXPECT_NE(a->uuid(), b->uuid());
  EXPECT_TRUE(a->isEqual(*a));
  EXPECT_EQ(a->hash(), qHash(a->uuid()));
  EXPECT_EQ(std::hash<PelSerialPacketDescriptor>{}(*a), a->hash());
  EXPECT_EQ(qHash(*a, 0), qHash(a->uuid(), 0));
  EXPECT_FALSE(a->uuid().isNull());

  std::unordered_map<Ref, int, ostrel::PelSerialPacketDescriptorRefHash, ostrel::PelSerialPacketDescriptorRefEqual> map;
  map[a] = 1;
  map[b] = 2;
  map[a] = 3;
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map.at(a), 3);
  EXPECT_EQ(map.count(Ref{}), 0u);
}

TEST(PelSerialPacketDescriptor, EvaluatorOutlivesItsDescriptor) {
  PelSerialPacketDescriptor::Evaluator evaluator;
  {
    const auto d = packet("AB");
    evaluator = d->responseEvaluator();
  }
  EXPECT_TRUE(evaluator("AB"));
  EXPECT_FALSE(evaluator("ABC"));
}

TEST(PelSerialPacketDescriptor, DescriptionNamesTheClass) {
  const auto d = packet("A");
  EXPECT_TRUE(d->description().startsWith(QStringLiteral("<PelSerialPacketDescriptor: 0x")));
  EXPECT_NE(d->description(), packet("A")->description());
}

}  // namespace
