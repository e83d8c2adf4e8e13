// The simulator's stream handling on its own: cutting frames out of whatever
// the line delivers, and cutting and pacing what it sends back.
#include "ostrel-sim/FrameAssembler.h"
#include "ostrel-sim/Outbox.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <random>

namespace ostrel::sim {
namespace {

using Kind = FrameAssembler::Piece::Kind;
const QByteArray kProbe = "5FF50A10000000000000A0FA";
const QByteArray kSet = "5FF50105000000000000A0FA";

QByteArray cat(std::initializer_list<QByteArray> parts) {
  QByteArray out;
  for (const QByteArray& p : parts) out += p;
  return out;
}

FrameAssembler::Piece frame(const QByteArray& b) {
  return {Kind::Frame, b};
}
FrameAssembler::Piece junk(const QByteArray& b) {
  return {Kind::Junk, b};
}

TEST(FrameAssembler, CutsFramesOutOfAnyStream) {
  const struct {
    const char* what;
    std::vector<QByteArray> chunks;
    std::vector<FrameAssembler::Piece> pieces;
    QByteArray pending;
  } cases[] = {
      {"whole frame", {kProbe}, {frame(kProbe)}, {}},
      {"head split over reads", {"5F", "F50A10000000000000A0FA"}, {frame(kProbe)}, {}},
      {"head split after one byte", {"xy5", "FF50A10000000000000A0FA"}, {junk("xy"), frame(kProbe)}, {}},
      {"two frames and a start", {cat({kProbe, kSet, "5FF501"})}, {frame(kProbe), frame(kSet)}, "5FF501"},
      {"doubled first digit", {cat({"5", kProbe})}, {junk("5"), frame(kProbe)}, {}},
      {"line ends between frames", {cat({kProbe, "\r\n", kSet})}, {frame(kProbe), junk("\r\n"), frame(kSet)}, {}},
      {"truncated frame then a good one", {cat({kSet.left(9), kProbe})}, {junk(kSet.left(9)), frame(kProbe)}, {}},
      {"bad tail", {cat({"5FF50A10000000000000A0FB", kSet})}, {junk("5FF50A10000000000000A0FB"), frame(kSet)}, {}},
      {"not hex inside", {"5FF50A1G000000000000A0FA"}, {junk("5FF50A1G000000000000A0FA")}, {}},
      {"lower case kept as received", {kProbe.toLower()}, {frame(kProbe.toLower())}, {}},
      {"noise only, keeping a possible head", {"hello 5f"}, {junk("hello ")}, "5f"},
      {"noise in two reads is one report", {"abc", "def"}, {junk("abcdef")}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FrameAssembler assembler;
    std::vector<FrameAssembler::Piece> got;
    for (const QByteArray& chunk : c.chunks) {
      for (auto& p : assembler.feed(chunk)) {
        if (!got.empty() && got.back().kind == Kind::Junk && p.kind == Kind::Junk) {
          got.back().bytes += p.bytes;
        } else {
          got.push_back(p);
        }
      }
    }
    ASSERT_EQ(got.size(), c.pieces.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].kind, c.pieces[i].kind) << i;
      EXPECT_EQ(got[i].bytes, c.pieces[i].bytes) << i;
    }
    EXPECT_EQ(assembler.pending(), c.pending);
  }
}

TEST(FrameAssembler, LosesNoByteAndHoldsAtMostOneFrame) {
  // Random mixtures of frames, fragments and noise, cut at random places:
  // every byte comes out exactly once, in order, and every frame fed whole
  // and undamaged is recognised.
  std::mt19937 random(1234);
  const QByteArray alphabet = "5FA0F5af\r\n x";
  for (int round = 0; round < 200; ++round) {
    QByteArray stream;
    int wholeFrames = 0;
    for (int part = 0; part < 20; ++part) {
      switch (std::uniform_int_distribution<int>(0, 2)(random)) {
        case 0:
          stream += kProbe;
          ++wholeFrames;
          break;
        case 1:
          stream += cat({kSet.left(std::uniform_int_distribution<int>(1, 23)(random)), "\n"});
          break;
        default:
          for (int i = std::uniform_int_distribution<int>(1, 8)(random); i > 0; --i) {
            stream += alphabet[std::uniform_int_distribution<int>(0, alphabet.size() - 1)(random)];
          }
      }
    }
    FrameAssembler assembler;
    QByteArray out;
    int frames = 0;
    for (qsizetype at = 0; at < stream.size();) {
      const qsizetype n = std::uniform_int_distribution<qsizetype>(1, 30)(random);
      for (const auto& p : assembler.feed(stream.mid(at, n))) {
        out += p.bytes;
        if (p.kind == Kind::Frame) {
          EXPECT_TRUE(FrameAssembler::isFrame(p.bytes));
          ++frames;
        }
      }
      EXPECT_LT(assembler.pending().size(), FrameAssembler::kFrameLength);
      at += n;
    }
    EXPECT_EQ(cat({out, assembler.pending()}), stream);
    EXPECT_GE(frames, wholeFrames);
  }
}

TEST(Outbox, CutsMessagesIntoTwoToFourPiecesThatAddUp) {
  const QByteArray messages[] = {kProbe, "ab", "abc", QByteArray(200, 'x')};
  for (const QByteArray& message : messages) {
    std::mt19937 random(99);
    for (int round = 0; round < 200; ++round) {
      const std::vector<QByteArray> pieces = Outbox::cut(message, random);
      ASSERT_GE(pieces.size(), 2u);
      ASSERT_LE(pieces.size(), static_cast<std::size_t>(std::min<qsizetype>(4, message.size())));
      QByteArray joined;
      for (const QByteArray& p : pieces) {
        EXPECT_FALSE(p.isEmpty());
        joined += p;
      }
      EXPECT_EQ(joined, message);
    }
  }
}

TEST(Outbox, KeepsOrderAndPacesPieces) {
  std::mt19937 random(5);
  Outbox box;
  box.push("delayed", 500, false, random);
  box.push("urgent", 0, false, random);
  box.push(kProbe, 0, true, random);

  // Nothing overtakes the delayed reply.
  EXPECT_EQ(box.dueAt(0), 500);
  EXPECT_EQ(box.front(), QByteArray("delayed"));
  box.consume(3);  // the line took only part of it
  EXPECT_EQ(box.front(), QByteArray("ayed"));
  EXPECT_LE(box.dueAt(510), 510);  // the rest goes at once
  box.consume(4);
  EXPECT_EQ(box.front(), QByteArray("urgent"));
  box.consume(6);

  QByteArray sent;
  qint64 last = 1000;
  bool firstPiece = true;
  while (!box.empty()) {
    const qint64 due = box.dueAt(last);
    if (firstPiece) {
      EXPECT_LE(due, last);
    } else {
      EXPECT_GE(due - last, Outbox::kMinPieceGapMs);
      EXPECT_LE(due - last, Outbox::kMaxPieceGapMs);
    }
    sent += box.front();
    box.consume(static_cast<std::size_t>(box.front().size()));
    last = std::max(due, last);
    firstPiece = false;
  }
  EXPECT_EQ(sent, kProbe);
}

}  // namespace
}  // namespace ostrel::sim
