#include "PelSerialFrame.h"

#include <cstdio>

namespace ostrel {

QByteArray pelCommandFrameText(std::int32_t command, std::int32_t parameter) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, "%.04X%.2X%.2X%.12X%.4X", 0x5FF5u, static_cast<unsigned>(command),
                              static_cast<unsigned>(parameter & 0xFF), 0u, 0xA0FAu);
  return QByteArray(buf, n > 0 ? n : 0);
}

}  // namespace ostrel
