#pragma once
// The kernel's own termios2 record, which carries real speeds (any rate, not
// just the B-constants). <linux/termios.h> clashes with glibc's <termios.h>, so
// these calls live in a translation unit of their own; this header includes
// neither.

#include "platform/posix/TerminalDevice.h"

#include <cstdint>

namespace ostrel::platform::termios2 {

// Each returns 0 or errno.
int readAttributes(int fd, TerminalAttributes* out);
int writeAttributes(int fd, const TerminalAttributes& attributes);  // at once
int setArbitrarySpeed(int fd, std::uint64_t baudRate);              // BOTHER, both directions
int speeds(int fd, std::uint64_t* input, std::uint64_t* output);

}  // namespace ostrel::platform::termios2
