#pragma once
// One open terminal device (a serial adapter's node or a pseudo-terminal), owned
// for exclusive use. The serial layer talks to the device only through this
// class, so this header carries no system headers.
//
// Contract:
//  - open(): O_RDWR|O_NOCTTY|O_NONBLOCK|O_CLOEXEC, refuses anything that is not a
//    terminal (ENOTTY), claims the device with flock(LOCK_EX|LOCK_NB) and
//    TIOCEXCL (another holder: EBUSY), never hands out descriptors 0-2 (a
//    process started with standard input closed would otherwise get 0, which the
//    port reads as "closed"), and asks the driver for low latency (a refusal is
//    fine). The descriptor stays non-blocking: waits go through wait().
//  - Every operation returns 0 or the errno of the failed call; nothing is
//    reported from here.
//  - Thread safety: none of its own. The port serialises the calls that can race
//    with close().
//  - Destruction releases the exclusive claim and closes the descriptor without
//    waiting for output.

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace ostrel::platform {

class WakeupEvent;

enum class TerminalParity { None, Odd, Even };

struct TerminalLineSettings {
  std::uint64_t baudRate = 115200;
  unsigned dataBits = 8;  // 7 or 8; anything else gives 5-bit characters
  TerminalParity parity = TerminalParity::None;
  unsigned stopBits = 1;  // 2 or more: two stop bits
  bool echo = false;
  bool rtsCtsFlowControl = false;
  // A speed with no standard constant is set through the kernel's arbitrary
  // speed request only when this is true; otherwise it is refused with EINVAL.
  bool allowNonStandardBaudRate = false;
};

// The device's settings as found, for putting them back at close.
struct TerminalAttributes {
  std::uint64_t c_iflag = 0;
  std::uint64_t c_oflag = 0;
  std::uint64_t c_cflag = 0;
  std::uint64_t c_lflag = 0;
  std::uint8_t c_line = 0;
  std::array<std::uint8_t, 32> c_cc{};
  std::uint64_t c_ispeed = 0;
  std::uint64_t c_ospeed = 0;
};

// Modem line bits, our own numbering.
enum class ModemLine : std::uint32_t { RTS = 1u << 0, DTR = 1u << 1, CTS = 1u << 2, DSR = 1u << 3, DCD = 1u << 4 };
constexpr bool hasLine(std::uint32_t bits, ModemLine line) { return (bits & static_cast<std::uint32_t>(line)) != 0; }

enum class TerminalWait {
  Ready,      // the asked-for direction is ready
  Cancelled,  // the wake-up event fired
  HungUp,     // POLLHUP/POLLERR/POLLNVAL: the device is gone
  TimedOut,
};

// How a wait for written bytes to leave the driver ended.
enum class TerminalOutput {
  Sent,       // nothing is queued in the driver any more (or it cannot tell)
  Cancelled,  // the wake-up event fired
  Failed,     // the device hung up or the driver answered an error: see error
  TimedOut,   // bytes were still queued when the time was up: see queued
};

struct TerminalOutputResult {
  TerminalOutput state = TerminalOutput::Sent;
  int queued = 0;  // bytes still in the driver (TimedOut)
  int error = 0;   // errno (Failed)
};

// What a read returned.
struct TerminalReadResult {
  std::ptrdiff_t count = 0;  // bytes read; 0 with error 0 means end of file (hang-up)
  int error = 0;             // errno; EAGAIN when nothing was there
};

class TerminalDevice {
 public:
  static std::unique_ptr<TerminalDevice> open(const QString& path, int* error);
  ~TerminalDevice();
  TerminalDevice(const TerminalDevice&) = delete;
  TerminalDevice& operator=(const TerminalDevice&) = delete;

  int descriptor() const { return fd_; }

  int attributes(TerminalAttributes* out) const;
  // Raw line settings from the current ones, applied at once.
  int apply(const TerminalLineSettings& settings);
  // The control (c_cflag) and local (c_lflag) flags apply() makes of the
  // current ones. Exposed so that the translation can be checked on its own: a
  // pseudo-terminal rewrites character size and parity (always CS8, none).
  static std::uint64_t controlFlagsFor(const TerminalLineSettings& settings, std::uint64_t current);
  static std::uint64_t localFlagsFor(const TerminalLineSettings& settings, std::uint64_t current);
  // Writes saved settings back at once (no waiting for output).
  int restore(const TerminalAttributes& attributes);
  // Clears hardware handshake so that nothing later can wait on a blocked line.
  int clearHardwareFlowControl();

  int modemLines(std::uint32_t* bits) const;
  int setOutputLines(bool rts, bool dtr);

  TerminalReadResult read(char* buffer, std::size_t capacity);
  // Bytes written, or -1 with *error set (EAGAIN when the device is full).
  std::ptrdiff_t write(const char* data, std::size_t length, int* error);

  // Waits until readable (forWrite false) or writable, the wake-up event fires,
  // the device hangs up, or timeoutMs passes (negative: no limit). EINTR-safe.
  TerminalWait wait(bool forWrite, const WakeupEvent& wakeup, int timeoutMs) const;

  // Waits until the driver has passed everything written to the device (its
  // output queue, TIOCOUTQ, is empty), the wake-up event fires, the device
  // fails or hangs up, or timeoutMs passes. A USB adapter's write() returns
  // once its driver holds the bytes, and an unplug then drops them; a
  // pseudo-terminal always reports an empty queue. Throws nothing away; a null
  // wakeup waits for the queue, a failure or the time alone.
  TerminalOutputResult waitUntilSent(const WakeupEvent* wakeup, int timeoutMs) const;

  // Waits at most boundMs for the output queue to empty, then throws away what
  // is left. Returns true when it emptied in time.
  bool drainOutput(int boundMs);

  // Input and output speeds as the kernel holds them (arbitrary rates included).
  int speeds(std::uint64_t* input, std::uint64_t* output) const;

  // Releases the claim and closes; 0 or errno. The object is closed afterwards
  // whatever the result.
  int close();
  // Throws away what is queued for output.
  void discardOutput();

 private:
  explicit TerminalDevice(int fd) : fd_(fd) {}
  int fd_ = -1;
  bool claimed_ = false;
};

}  // namespace ostrel::platform
