#pragma once
// What a serial port reports, and to whom.
//
// A port holds its delegate weakly: whoever sets a delegate keeps it alive.
// Every delegate operation runs on the main thread (common/MainThread.h).
// Only serialPortWasRemovedFromSystem() is required; the port asks
// respondsTo() before every call, the required one included, and never calls an
// operation the delegate does not declare.
//
// | operation                                   | thread / hand-off             |
// |---------------------------------------------|-------------------------------|
// | serialPortWasRemovedFromSystem              | main, the port waits for it   |
// | serialPortDidReceiveData                    | main, queued, in read order   |
// | serialPortDidReceivePacketMatchingDescriptor| main, queued                  |
// | serialPortDidReceiveResponseToRequest       | main, queued                  |
// | serialPortRequestDidTimeout                 | main, queued                  |
// | serialPortDidEncounterError                 | main (direct when already on  |
// |                                             | it, else queued or waited)    |
// | serialPortWasOpened                         | main, queued                  |
// | serialPortWasClosed                         | main, the port waits for it   |

#include "serial/PelPosixError.h"

#include <QByteArray>
#include <cstdint>
#include <memory>

namespace ostrel {

class PelSerialPortInterface;
class PelSerialPacketDescriptor;
class PelSerialRequest;

enum class PelSerialPortDelegateOperation : std::uint32_t {
  WasRemovedFromSystem = 1u << 0,
  DidReceiveData = 1u << 1,
  DidReceivePacketMatchingDescriptor = 1u << 2,
  DidReceiveResponseToRequest = 1u << 3,
  RequestDidTimeout = 1u << 4,
  DidEncounterError = 1u << 5,
  WasOpened = 1u << 6,
  WasClosed = 1u << 7,
};

using PelSerialPortRef = std::shared_ptr<PelSerialPortInterface>;

class PelSerialPortDelegate {
 public:
  virtual ~PelSerialPortDelegate() = default;

  // The explicit "does it implement this" query.
  virtual bool respondsTo(PelSerialPortDelegateOperation operation) const = 0;

  virtual void serialPortWasRemovedFromSystem(const PelSerialPortRef& port) = 0;
  virtual void serialPortDidReceiveData(const PelSerialPortRef& port, const QByteArray& data);
  virtual void serialPortDidReceivePacketMatchingDescriptor(const PelSerialPortRef& port, const QByteArray& packet,
                                                            const std::shared_ptr<PelSerialPacketDescriptor>& descriptor);
  virtual void serialPortDidReceiveResponseToRequest(const PelSerialPortRef& port, const QByteArray& response,
                                                     const std::shared_ptr<PelSerialRequest>& request);
  virtual void serialPortRequestDidTimeout(const PelSerialPortRef& port, const std::shared_ptr<PelSerialRequest>& request);
  virtual void serialPortDidEncounterError(const PelSerialPortRef& port, const PelPosixError& error);
  virtual void serialPortWasOpened(const PelSerialPortRef& port);
  virtual void serialPortWasClosed(const PelSerialPortRef& port);
};

// Convenience for delegates: declare the implemented operations once.
constexpr std::uint32_t operator|(PelSerialPortDelegateOperation a, PelSerialPortDelegateOperation b) {
  return static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b);
}
constexpr std::uint32_t operator|(std::uint32_t a, PelSerialPortDelegateOperation b) {
  return a | static_cast<std::uint32_t>(b);
}
constexpr bool hasOperation(std::uint32_t set, PelSerialPortDelegateOperation op) {
  return (set & static_cast<std::uint32_t>(op)) != 0;
}

}  // namespace ostrel
