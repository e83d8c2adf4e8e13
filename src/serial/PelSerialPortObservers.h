#pragma once
// Change observers of a serial port's properties.
//
// Contract:
//  - add() registers a callback for one property and returns a token for
//    remove(); tokens are never reused.
//  - announce() calls every callback registered for that property, in
//    registration order, on the thread that made the change, after the change,
//    with no lock of the port held. Callbacks may add or remove observers and
//    read the port; they must not wait for the main thread (a change can come
//    from a port thread the main thread is waiting for).

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace ostrel {

enum class PelSerialPortProperty {
  Name,
  Path,
  Delegate,
  BaudRate,
  NumberOfStopBits,
  NumberOfDataBits,
  Parity,
  ShouldEchoReceivedData,
  UsesRTSCTSFlowControl,
  UsesDTRDSRFlowControl,
  UsesDCDOutputFlowControl,
  AllowsNonStandardBaudRates,
  RTS,
  DTR,
  CTS,
  DSR,
  DCD,
  FileDescriptor,
  IsOpen,  // announced with every change of FileDescriptor
  PendingRequest,
  QueuedRequests,
  PacketDescriptors,
};

class PelSerialPortObservers {
 public:
  using Token = std::uint64_t;
  using Callback = std::function<void()>;

  Token add(PelSerialPortProperty property, Callback callback);
  void remove(Token token);
  void announce(PelSerialPortProperty property) const;

 private:
  struct Registration {
    Token token;
    PelSerialPortProperty property;
    Callback callback;
  };
  mutable std::mutex mutex_;
  std::vector<Registration> registrations_;
  Token next_ = 1;
};

}  // namespace ostrel
