#include "PelSerialPortDelegate.h"

namespace ostrel {

// Default bodies exist only so that a delegate need not override what it does not
// declare in respondsTo(); a port never calls an undeclared operation.
void PelSerialPortDelegate::serialPortDidReceiveData(const PelSerialPortRef&, const QByteArray&) {}
void PelSerialPortDelegate::serialPortDidReceivePacketMatchingDescriptor(const PelSerialPortRef&, const QByteArray&,
                                                                         const std::shared_ptr<PelSerialPacketDescriptor>&) {}
void PelSerialPortDelegate::serialPortDidReceiveResponseToRequest(const PelSerialPortRef&, const QByteArray&,
                                                                  const std::shared_ptr<PelSerialRequest>&) {}
void PelSerialPortDelegate::serialPortRequestDidTimeout(const PelSerialPortRef&, const std::shared_ptr<PelSerialRequest>&) {}
void PelSerialPortDelegate::serialPortDidEncounterError(const PelSerialPortRef&, const PelPosixError&) {}
void PelSerialPortDelegate::serialPortWasOpened(const PelSerialPortRef&) {}
void PelSerialPortDelegate::serialPortWasClosed(const PelSerialPortRef&) {}

}  // namespace ostrel
