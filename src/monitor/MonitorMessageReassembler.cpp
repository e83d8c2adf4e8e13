#include "MonitorMessageReassembler.h"

#include <algorithm>
#include <array>

namespace ostrel {
namespace {

constexpr std::array<std::int8_t, 256> makeHexTable() {
  std::array<std::int8_t, 256> t{};
  for (auto& v : t) v = -1;
  for (int c = '0'; c <= '9'; ++c) t[static_cast<size_t>(c)] = static_cast<std::int8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[static_cast<size_t>(c)] = static_cast<std::int8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) t[static_cast<size_t>(c)] = static_cast<std::int8_t>(c - 'a' + 10);
  return t;
}
constexpr std::array<std::int8_t, 256> kHex = makeHexTable();

inline int hexValue(char c) { return kHex[static_cast<unsigned char>(c)]; }

inline bool isF(char c) { return c == 'F' || c == 'f'; }

// Whether the k bytes at p match the first k characters of the head "5FF5".
inline bool matchesHeadPrefix(const char* p, qsizetype k) {
  static constexpr char kUpper[] = "5FF5";
  for (qsizetype i = 0; i < k; ++i) {
    const char c = p[i];
    if (kUpper[i] == 'F' ? !isF(c) : c != '5') return false;
  }
  return true;
}

// Position of the next head at or after `from`, or -1.
qsizetype findHead(const char* data, qsizetype size, qsizetype from) {
  for (qsizetype i = from; i + 4 <= size; ++i) {
    if (data[i] == '5' && isF(data[i + 1]) && isF(data[i + 2]) && data[i + 3] == '5') return i;
  }
  return -1;
}

}  // namespace

qsizetype MonitorMessageReassembler::skip(qsizetype count) {
  const qsizetype tail = count < tailAllowance_ ? count : tailAllowance_;
  tailAllowance_ -= tail;
  return count - tail;
}

qsizetype MonitorMessageReassembler::scan(QByteArrayView view, MonitorMessageList& out) {
  const char* data = view.data();
  const qsizetype size = view.size();
  qsizetype ignored = 0;
  qsizetype i = 0;
  QByteArray keep;
  while (i < size) {
    const qsizetype head = findHead(data, size, i);
    if (head < 0) {
      // Hold back a partial head at the very end; everything before it is noise.
      qsizetype partial = 0;
      for (qsizetype k = 3; k >= 1; --k) {
        if (size - i >= k && matchesHeadPrefix(data + size - k, k)) {
          partial = k;
          break;
        }
      }
      ignored += skip(size - partial - i);
      keep = QByteArray(data + size - partial, partial);
      i = size;
      break;
    }
    ignored += skip(head - i);
    tailAllowance_ = 0;
    const qsizetype available = std::min(size - head, kExaminedLength);
    // Another head inside the examined part means this message lost bytes on
    // the way: give the later one its chance instead of reading across both.
    const qsizetype inner = findHead(data, head + available, head + 1);
    if (inner >= 0) {
      ignored += inner - head;
      i = inner;
      continue;
    }
    int digits[8] = {};
    bool wellFormed = true;
    for (qsizetype k = 4; k < available; ++k) {
      digits[k - 4] = hexValue(data[head + k]);
      wellFormed = wellFormed && digits[k - 4] >= 0;
    }
    if (!wellFormed) {
      ignored += 1;
      i = head + 1;
      continue;
    }
    if (available < kExaminedLength) {
      keep = QByteArray(data + head, size - head);
      i = size;
      break;
    }
    MonitorMessage m;
    m.command = static_cast<std::uint8_t>(digits[0] << 4 | digits[1]);
    m.commandRe = static_cast<std::uint8_t>(digits[2] << 4 | digits[3]);
    m.commandRq = static_cast<std::uint8_t>(digits[4] << 4 | digits[5]);
    m.commandReValue = static_cast<std::uint8_t>(digits[6] << 4 | digits[7]);
    out.append(m);
    i = head + kExaminedLength;
    tailAllowance_ = kMessageLength - kExaminedLength;
  }
  pending_ = std::move(keep);
  return ignored;
}

qsizetype MonitorMessageReassembler::feed(QByteArrayView chunk, MonitorMessageList& out) {
  if (pending_.isEmpty()) return scan(chunk, out);
  QByteArray joined = std::move(pending_);
  joined.append(chunk);
  return scan(joined, out);
}

// Between chunks at most an unfinished message is kept.
static_assert(MonitorMessageReassembler::kExaminedLength - 1 < MonitorMessageReassembler::kMaxBufferedBytes);

}  // namespace ostrel
