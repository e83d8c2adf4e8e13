#pragma once
// The face a serial port shows to the rest of Ostrel. The command encoder, the
// reply decoder and monitor discovery are written against this alone;
// PelSerialPort implements it for real devices.
//
// Contract:
//  - name(): the device's TTY name, shown in the monitor list.
//  - path(): the device path. Two ports are equal exactly when their paths are
//    equal (isEqual), and a port hashes as its path.
//  - delegate is held weakly; see PelSerialPortDelegate.h for threads.
//  - open(): opens and configures; nothing when already open; success is
//    announced with serialPortWasOpened, failure with serialPortDidEncounterError.
//  - isOpen(): true from a successful open until the close has completed.
//  - close(): starts closing an open port, always returns true; the end is
//    announced with serialPortWasClosed.
//  - sendData(): writes the bytes exactly as given, blocking the caller until all
//    are written, for a bounded time at most. Writes from different threads
//    never interleave: each call's bytes reach the device contiguous. False when
//    closed, when a write fails or when the device took too long (the failure is
//    also reported to the delegate); true for empty data.
//  - sendDataWithCommand(): writes one command frame built by the port itself
//    (no parameter rule applied; see PelSerialFrame.h).
//  - adapterIdentity(): what identifies the adapter behind the port across
//    restarts and re-plugs: "usb:VVVV:PPPP:SERIAL" (vendor and product ids, the
//    serial number when the adapter has one) for a USB adapter, otherwise
//    "path:" and the device path (a virtual port's link, a built-in UART).

#include "serial/PelSerialPortDelegate.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QString>
#include <cstdint>
#include <memory>

namespace ostrel {

class PelSerialPortInterface : public std::enable_shared_from_this<PelSerialPortInterface> {
 public:
  virtual ~PelSerialPortInterface() = default;

  virtual QString name() const = 0;
  virtual QString path() const = 0;
  virtual std::shared_ptr<PelSerialPortDelegate> delegate() const = 0;
  virtual void setDelegate(const std::weak_ptr<PelSerialPortDelegate>& delegate) = 0;
  virtual void open() = 0;
  virtual bool isOpen() const = 0;
  virtual bool close() = 0;
  virtual bool sendData(const QByteArray& data) = 0;
  virtual void sendDataWithCommand(std::int32_t command, std::int32_t optional) = 0;
  virtual QString adapterIdentity() const { return QStringLiteral("path:") + path(); }

  QString description() const { return name(); }
  bool isEqual(const PelSerialPortInterface& other) const { return path() == other.path(); }
  size_t hash() const { return qHash(path()); }
};

inline bool samePort(const PelSerialPortRef& a, const PelSerialPortRef& b) {
  if (!a || !b) return a == b;
  return a->isEqual(*b);
}

}  // namespace ostrel
