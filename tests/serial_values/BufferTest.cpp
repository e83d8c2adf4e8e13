#include "serial/PelSerialBuffer.h"

#include <gtest/gtest.h>

#include <QList>
#include <limits>

namespace {

using ostrel::PelSerialBuffer;

struct AppendCase {
  const char* label;
  quint64 maximumLength;
  QList<QByteArray> appends;
  QByteArray want;
};

TEST(PelSerialBuffer, KeepsTheNewestBytes) {
  const quint64 huge = std::numeric_limits<quint64>::max();
  const AppendCase cases[] = {
      {"maximum 0 stays empty", 0, {"abc", "d"}, ""},
      {"5 bytes onto 3 with maximum 4", 4, {"abc", "defgh"}, "efgh"},
      {"fills up to the maximum", 4, {"ab", "cd"}, "abcd"},
      {"one over drops one", 4, {"ab", "cd", "e"}, "bcde"},
      {"one chunk longer than the maximum", 2, {"abcdef"}, "ef"},
      {"chunk exactly the maximum replaces", 3, {"xy", "abc"}, "abc"},
      {"empty appends change nothing", 3, {"ab", "", ""}, "ab"},
      {"largest maximum", huge, {"abc", "def"}, "abcdef"},
      {"largest signed maximum", 9223372036854775807ULL, {"abc"}, "abc"},
      {"zero bytes are bytes", 2, {QByteArray("\0\0\1", 3)}, QByteArray("\0\1", 2)},
  };
  for (const auto& c : cases) {
    PelSerialBuffer buffer(c.maximumLength);
    for (const auto& chunk : c.appends) buffer.appendData(chunk);
    EXPECT_EQ(buffer.data(), c.want) << c.label;
    EXPECT_EQ(buffer.maximumLength(), c.maximumLength) << c.label;
  }
}

TEST(PelSerialBuffer, ClearEmptiesAndAppendingGoesOn) {
  PelSerialBuffer buffer(3);
  buffer.appendData("abc");
  const QByteArray before = buffer.data();
  buffer.clearBuffer();
  EXPECT_TRUE(buffer.data().isEmpty());
  EXPECT_EQ(before, QByteArray("abc"));
  buffer.appendData("de");
  EXPECT_EQ(buffer.data(), QByteArray("de"));
}

TEST(PelSerialBuffer, ObserversSeeEveryChangeAfterItHappened) {
  PelSerialBuffer buffer(4);
  QList<QByteArray> seenByFirst;
  int secondCalls = 0;
  const auto first = buffer.addObserver([&] { seenByFirst << buffer.data(); });
  const auto second = buffer.addObserver([&] { ++secondCalls; });
  EXPECT_NE(first, second);

  buffer.appendData("abc");
  buffer.appendData("de");
  buffer.clearBuffer();
  EXPECT_EQ(seenByFirst, (QList<QByteArray>{"abc", "bcde", ""}));
  EXPECT_EQ(secondCalls, 3);

  buffer.removeObserver(second);
  buffer.removeObserver(second);
  buffer.removeObserver(12345);
  buffer.appendData("f");
  EXPECT_EQ(secondCalls, 3);
  EXPECT_EQ(seenByFirst.size(), 4);
}

TEST(PelSerialBuffer, ObserversMayChangeRegistrationsAndTheBufferWhileCalled) {
  PelSerialBuffer buffer(8);
  int selfRemovingCalls = 0;
  int laterCalls = 0;
  int addedCalls = 0;
  PelSerialBuffer::ObserverToken selfRemoving = 0;
  PelSerialBuffer::ObserverToken later = 0;
  selfRemoving = buffer.addObserver([&] {
    ++selfRemovingCalls;
    buffer.removeObserver(selfRemoving);
    buffer.removeObserver(later);  // removed before its turn: not called for this change
    buffer.addObserver([&] { ++addedCalls; });
  });
  later = buffer.addObserver([&] { ++laterCalls; });
  buffer.appendData("a");
  EXPECT_EQ(selfRemovingCalls, 1);
  EXPECT_EQ(laterCalls, 0);
  EXPECT_EQ(addedCalls, 0);
  buffer.appendData("b");
  EXPECT_EQ(selfRemovingCalls, 1);
  EXPECT_EQ(addedCalls, 1);

  // An observer that trims the buffer on every change: the nested change is
  // announced too, and the outer append does not undo it.
  PelSerialBuffer trimmed(8);
  int calls = 0;
  trimmed.addObserver([&] {
    ++calls;
    if (trimmed.data().size() > 2) trimmed.clearBuffer();
  });
  trimmed.appendData("abc");
  EXPECT_TRUE(trimmed.data().isEmpty());
  EXPECT_EQ(calls, 2);
}

}  // namespace
