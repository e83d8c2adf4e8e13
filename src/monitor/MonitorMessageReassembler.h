#pragma once
// Cuts the monitor's byte stream on one port into messages.
//
// The monitor writes 24-character hex-text messages with no terminator, and a
// read may hold part of a message or several of them. A message starts at the
// head "5FF5" (either case) and its first 12 characters decide what it means:
// head, command, CommandRe, CommandRq, CommandReValue, two hex digits each after
// the head. So the reassembler, for each chunk:
//  - skips bytes before a head (noise, a half message from before we listened,
//    invalid UTF-8: none of it can start a message);
//  - drops a head that is followed by a non-hex character within its examined
//    part, or by another head there (the first message lost bytes), and
//    searches again after it, which resynchronises at the next genuine head;
//  - waits for more bytes when a head has fewer than 12 characters behind it
//    and nothing so far rules it out;
//  - decodes 12 characters when all eight after the head are hex digits,
//    consumes exactly those 12 and searches the next head, so a message cut
//    short by the line still lets the following one through.
// The twelve characters that complete a decoded message (reserved zeros and
// tail) are skipped without being counted as ignored.
//
// Between chunks it keeps only an unfinished message (at most 11 bytes) or a
// partial head, so noise cannot grow memory: the retained bytes stay far below
// kMaxBufferedBytes whatever arrives.

#include <QByteArray>
#include <QByteArrayView>
#include <QVarLengthArray>
#include <cstdint>

namespace ostrel {

struct MonitorMessage {
  std::uint8_t command = 0;
  std::uint8_t commandRe = 0;
  std::uint8_t commandRq = 0;
  std::uint8_t commandReValue = 0;

  friend bool operator==(const MonitorMessage&, const MonitorMessage&) = default;
};

using MonitorMessageList = QVarLengthArray<MonitorMessage, 8>;

class MonitorMessageReassembler {
 public:
  static constexpr qsizetype kMaxBufferedBytes = 1024;
  static constexpr qsizetype kExaminedLength = 12;
  static constexpr qsizetype kMessageLength = 24;

  // Appends the messages completed by this chunk to `out`, in stream order, and
  // returns how many bytes were dropped as not belonging to any message.
  qsizetype feed(QByteArrayView chunk, MonitorMessageList& out);

  // Bytes held back for the next chunk.
  qsizetype bufferedByteCount() const { return pending_.size(); }

 private:
  qsizetype skip(qsizetype count);
  qsizetype scan(QByteArrayView data, MonitorMessageList& out);

  QByteArray pending_;
  qsizetype tailAllowance_ = 0;  // bytes of the last message still to come
};

}  // namespace ostrel
