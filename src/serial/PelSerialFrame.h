#pragma once
// The 24-character command frame: "5FF5" CC PP "000000000000" "A0FA", upper-case
// hex text sent as ASCII, no terminator. Both the monitor's command encoder and
// the port's own sendDataWithCommand() build frames here.

#include <QByteArray>
#include <cstdint>

namespace ostrel {

// printf("%.04X%.2X%.2X%.12X%.4X", 0x5FF5, command, parameter & 0xFF, 0, 0xA0FA).
// The command is printed with at least two digits and never masked.
QByteArray pelCommandFrameText(std::int32_t command, std::int32_t parameter);

}  // namespace ostrel
