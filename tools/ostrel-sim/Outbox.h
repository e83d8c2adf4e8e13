#pragma once
// Messages waiting to go out on the line, in order, each piece with the earliest
// time it may be written. Replies wait for the reply delay; the pieces of a
// split message wait a short pause after the piece before, so that the reader
// gets them in separate reads. Nothing overtakes anything: a message queued
// while a delayed reply waits goes out after it.
//
// Times are milliseconds on one monotonic clock chosen by the caller.

#include <QByteArray>
#include <cstddef>
#include <deque>
#include <random>
#include <vector>

namespace ostrel::sim {

class Outbox {
 public:
  // Pauses between the pieces of a split message, in milliseconds.
  static constexpr int kMinPieceGapMs = 25;
  static constexpr int kMaxPieceGapMs = 60;

  // One message. With `split`, it is cut into 2-4 non-empty pieces at random
  // places (a message of one byte stays whole).
  void push(const QByteArray& message, qint64 notBeforeMs, bool split, std::mt19937& random);

  bool empty() const { return pieces_.empty(); }
  std::size_t pendingBytes() const;
  std::size_t pendingPieces() const { return pieces_.size(); }

  // When the first piece may go out, given when the last write happened.
  qint64 dueAt(qint64 lastWriteMs) const;
  const QByteArray& front() const { return pieces_.front().bytes; }
  // `count` bytes of the first piece were written; the rest of a partly
  // written piece goes out as soon as the line takes it.
  void consume(std::size_t count);
  void clear() { pieces_.clear(); }

  static std::vector<QByteArray> cut(const QByteArray& message, std::mt19937& random);

 private:
  struct Piece {
    QByteArray bytes;
    qint64 notBeforeMs = 0;
    int gapMs = 0;  // after the previous write
  };
  std::deque<Piece> pieces_;
};

}  // namespace ostrel::sim
