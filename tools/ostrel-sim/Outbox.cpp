#include "ostrel-sim/Outbox.h"

#include <algorithm>

namespace ostrel::sim {

std::vector<QByteArray> Outbox::cut(const QByteArray& message, std::mt19937& random) {
  if (message.size() < 2) return {message};
  const int maxPieces = static_cast<int>(std::min<qsizetype>(4, message.size()));
  const int pieces = std::uniform_int_distribution<int>(2, maxPieces)(random);
  // Distinct cut positions strictly inside the message.
  std::vector<qsizetype> positions;
  std::uniform_int_distribution<qsizetype> where(1, message.size() - 1);
  while (static_cast<int>(positions.size()) < pieces - 1) {
    const qsizetype p = where(random);
    if (std::find(positions.begin(), positions.end(), p) == positions.end()) positions.push_back(p);
  }
  std::sort(positions.begin(), positions.end());
  std::vector<QByteArray> out;
  qsizetype start = 0;
  for (qsizetype p : positions) {
    out.push_back(message.mid(start, p - start));
    start = p;
  }
  out.push_back(message.mid(start));
  return out;
}

void Outbox::push(const QByteArray& message, qint64 notBeforeMs, bool split, std::mt19937& random) {
  if (message.isEmpty()) return;
  if (!split) {
    pieces_.push_back(Piece{message, notBeforeMs, 0});
    return;
  }
  std::uniform_int_distribution<int> gap(kMinPieceGapMs, kMaxPieceGapMs);
  bool first = true;
  for (QByteArray& piece : cut(message, random)) {
    pieces_.push_back(Piece{std::move(piece), first ? notBeforeMs : 0, first ? 0 : gap(random)});
    first = false;
  }
}

std::size_t Outbox::pendingBytes() const {
  std::size_t total = 0;
  for (const Piece& p : pieces_) total += static_cast<std::size_t>(p.bytes.size());
  return total;
}

qint64 Outbox::dueAt(qint64 lastWriteMs) const {
  const Piece& p = pieces_.front();
  // Without a pause the piece follows at once; the last write is in the past.
  if (p.gapMs == 0) return p.notBeforeMs;
  return std::max(p.notBeforeMs, lastWriteMs + p.gapMs);
}

void Outbox::consume(std::size_t count) {
  Piece& p = pieces_.front();
  if (count >= static_cast<std::size_t>(p.bytes.size())) {
    pieces_.pop_front();
    return;
  }
  p.bytes.remove(0, static_cast<qsizetype>(count));
  p.notBeforeMs = 0;
  p.gapMs = 0;
}

}  // namespace ostrel::sim
