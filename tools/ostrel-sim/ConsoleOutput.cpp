#include "ostrel-sim/ConsoleOutput.h"

#include <cstdio>

namespace ostrel::sim {

void printReceivedFrame(const QByteArray& frame) {
  std::fwrite(frame.constData(), 1, static_cast<std::size_t>(frame.size()), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void printDiagnostic(const QString& text) {
  const QByteArray line = QByteArrayLiteral("ostrel-sim: ") + text.toLocal8Bit() + '\n';
  std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
  std::fflush(stderr);
}

QString visibleBytes(const QByteArray& bytes) {
  QString out;
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F && u != '\\') {
      out += QLatin1Char(c);
    } else {
      out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
  }
  return out;
}

}  // namespace ostrel::sim
