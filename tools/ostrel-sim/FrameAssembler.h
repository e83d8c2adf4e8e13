#pragma once
// Cuts the byte stream that arrives on the monitor's end of the line into
// frames. Ostrel writes 24 hex characters per command with no terminator, and
// the line may deliver one frame in several reads or several frames in one read.
//
// A frame is 24 hexadecimal characters that begin with 5FF5 and end with A0FA
// (either case; the monitor's own replies are not case-sensitive either). Bytes
// that cannot start a frame are handed back as junk, and after a damaged frame
// reading starts again at the next 5FF5, so one bad write loses only itself.

#include <QByteArray>
#include <vector>

namespace ostrel::sim {

class FrameAssembler {
 public:
  static constexpr qsizetype kFrameLength = 24;

  struct Piece {
    enum class Kind { Frame, Junk };
    Kind kind;
    QByteArray bytes;  // exactly as received
    bool operator==(const Piece&) const = default;
  };

  // Pieces completed by this chunk, in stream order. Bytes that may still
  // become a frame stay buffered (at most one frame's length).
  std::vector<Piece> feed(const QByteArray& chunk);

  // What is buffered waiting for the rest of a frame.
  const QByteArray& pending() const { return buffer_; }
  void reset() { buffer_.clear(); }

  static bool isFrame(const QByteArray& text);

 private:
  QByteArray buffer_;
};

}  // namespace ostrel::sim
