#include "ostrel-sim/FrameAssembler.h"

#include <QByteArrayView>
#include <cctype>

namespace ostrel::sim {
namespace {

constexpr QByteArrayView kHead("5FF5");
constexpr QByteArrayView kTail("A0FA");

bool sameIgnoringCase(QByteArrayView a, QByteArrayView b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

qsizetype indexOfHead(const QByteArray& buffer, qsizetype from) {
  for (qsizetype i = from; i + kHead.size() <= buffer.size(); ++i) {
    if (sameIgnoringCase(QByteArrayView(buffer).sliced(i, kHead.size()), kHead)) return i;
  }
  return -1;
}

// How many trailing bytes could be the beginning of a head that the next chunk
// completes; those must not be thrown away yet.
qsizetype partialHeadSuffix(const QByteArray& buffer) {
  for (qsizetype n = std::min<qsizetype>(kHead.size() - 1, buffer.size()); n > 0; --n) {
    if (sameIgnoringCase(QByteArrayView(buffer).last(n), kHead.first(n))) return n;
  }
  return 0;
}

}  // namespace

bool FrameAssembler::isFrame(const QByteArray& text) {
  if (text.size() != kFrameLength) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return sameIgnoringCase(QByteArrayView(text).first(kHead.size()), kHead) &&
         sameIgnoringCase(QByteArrayView(text).last(kTail.size()), kTail);
}

std::vector<FrameAssembler::Piece> FrameAssembler::feed(const QByteArray& chunk) {
  std::vector<Piece> out;
  buffer_.append(chunk);
  auto emitJunk = [&](qsizetype count) {
    if (count <= 0) return;
    // Consecutive junk is reported as one piece.
    if (!out.empty() && out.back().kind == Piece::Kind::Junk) {
      out.back().bytes.append(buffer_.first(count));
    } else {
      out.push_back(Piece{Piece::Kind::Junk, buffer_.first(count)});
    }
    buffer_.remove(0, count);
  };

  while (!buffer_.isEmpty()) {
    const qsizetype head = indexOfHead(buffer_, 0);
    if (head < 0) {
      emitJunk(buffer_.size() - partialHeadSuffix(buffer_));
      break;
    }
    emitJunk(head);
    if (buffer_.size() < kFrameLength) break;
    const QByteArray candidate = buffer_.first(kFrameLength);
    if (isFrame(candidate)) {
      out.push_back(Piece{Piece::Kind::Frame, candidate});
      buffer_.remove(0, kFrameLength);
      continue;
    }
    // A damaged frame: give up on this head and look for the next one, which
    // may well sit inside the damaged stretch (a frame cut short by another).
    const qsizetype next = indexOfHead(buffer_, 1);
    emitJunk(next > 0 ? next : std::max<qsizetype>(1, buffer_.size() - partialHeadSuffix(buffer_)));
  }
  return out;
}

}  // namespace ostrel::sim
