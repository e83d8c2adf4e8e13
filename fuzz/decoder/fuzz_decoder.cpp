// The reply decoder against arbitrary bytes in arbitrary pieces.
//
// Input: a sequence of records, each a length byte (low six bits: 0..63) and
// that many bytes of chunk; the chunks are what the port "reads". Checks:
//  - nothing crashes, and fewer than 12 bytes are ever held back;
//  - the messages cut from the chunks are exactly those a plain, independent
//    scan of the whole byte stream finds, so only well-formed messages are acted
//    on and the split never matters;
//  - the main window hears the same calls as when the stream arrives in one read.

#include "FakeSerialPort.h"
#include "RecordingViewController.h"
#include "common/Log.h"
#include "monitor/MonitorMessageReassembler.h"
#include "monitor/MonitorState.h"
#include "monitor/PelSerialPortHelper.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

bool isHexDigit(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
int hexDigit(unsigned char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }
bool headAt(const QByteArray& s, qsizetype i, qsizetype end) {
  return i + 4 <= end && s[i] == '5' && (s[i + 1] | 0x20) == 'f' && (s[i + 2] | 0x20) == 'f' && s[i + 3] == '5';
}

// The stream's messages, found the slow and obvious way.
std::vector<ostrel::MonitorMessage> referenceScan(const QByteArray& s) {
  std::vector<ostrel::MonitorMessage> out;
  qsizetype i = 0;
  const qsizetype n = s.size();
  while (i < n) {
    if (!headAt(s, i, n)) {
      ++i;
      continue;
    }
    const qsizetype end = std::min(n, i + 12);
    qsizetype inner = -1;
    for (qsizetype k = i + 1; k < end && inner < 0; ++k)
      if (headAt(s, k, end)) inner = k;
    if (inner >= 0) {
      i = inner;
      continue;
    }
    bool hex = true;
    for (qsizetype k = i + 4; k < end; ++k) hex = hex && isHexDigit(static_cast<unsigned char>(s[k]));
    if (!hex) {
      ++i;
      continue;
    }
    if (end - i < 12) break;
    auto byteAt = [&](qsizetype k) {
      return static_cast<std::uint8_t>(hexDigit(static_cast<unsigned char>(s[k])) * 16 +
                                       hexDigit(static_cast<unsigned char>(s[k + 1])));
    };
    out.push_back({byteAt(i + 4), byteAt(i + 6), byteAt(i + 8), byteAt(i + 10)});
    i += 12;
  }
  return out;
}

QStringList decodeThroughHelper(const QList<QByteArray>& chunks) {
  auto view = std::make_shared<ostrel::test::RecordingViewController>();
  ostrel::mainViewController = view;
  ostrel::caluPortsArr = std::make_shared<QList<ostrel::PelSerialPortRef>>();
  auto helper = std::make_shared<ostrel::PelSerialPortHelper>();
  auto port = ostrel::test::FakeSerialPort::create("ttyFUZZ");
  for (const QByteArray& chunk : chunks) helper->serialPortDidReceiveData(port, chunk);
  QStringList calls = view->calls;
  calls << QStringLiteral("listed %1").arg(ostrel::caluPortsArr->size());
  ostrel::mainViewController.reset();
  return calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static ostrel::LogDiscard quiet;
  QList<QByteArray> chunks;
  QByteArray whole;
  for (size_t i = 0; i < size;) {
    const size_t len = std::min<size_t>(data[i] & 0x3F, size - i - 1);
    chunks << QByteArray(reinterpret_cast<const char*>(data + i + 1), static_cast<qsizetype>(len));
    whole += chunks.back();
    i += 1 + len;
  }

  ostrel::MonitorMessageReassembler reassembler;
  ostrel::MonitorMessageList got;
  for (const QByteArray& chunk : chunks) {
    reassembler.feed(chunk, got);
    if (reassembler.bufferedByteCount() >= 12) std::abort();
  }
  const std::vector<ostrel::MonitorMessage> want = referenceScan(whole);
  if (static_cast<size_t>(got.size()) != want.size()) std::abort();
  for (size_t k = 0; k < want.size(); ++k)
    if (!(got[static_cast<qsizetype>(k)] == want[k])) std::abort();

  if (decodeThroughHelper(chunks) != decodeThroughHelper({whole})) std::abort();
  return 0;
}
