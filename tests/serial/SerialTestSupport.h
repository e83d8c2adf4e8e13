#pragma once
// Shared pieces of the serial port tests: a delegate that records what it hears
// (and on which thread), and an event-loop wait.

#include "common/MainThread.h"
#include "serial/PelSerialPacketDescriptor.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialRequest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <mutex>
#include <vector>

namespace ostrel::test {

// Runs the main thread's event loop until done() or ms pass; returns done().
inline bool spinUntil(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

inline void spinFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

enum class Heard { Removed, Data, Packet, Response, Timeout, Error, Opened, Closed };

struct HeardEvent {
  explicit HeardEvent(Heard w) : what(w) {}
  Heard what;
  bool onMainThread = false;
  QByteArray data;  // data, packet or response
  int errorCode = 0;
  std::shared_ptr<PelSerialRequest> request;
  std::shared_ptr<PelSerialPacketDescriptor> descriptor;
};

class RecordingDelegate : public PelSerialPortDelegate {
 public:
  static constexpr std::uint32_t kEverything = 0xFFu;
  explicit RecordingDelegate(std::uint32_t operations = kEverything) : operations_(operations) {}

  bool respondsTo(PelSerialPortDelegateOperation op) const override { return hasOperation(operations_, op); }

  void serialPortWasRemovedFromSystem(const PelSerialPortRef&) override { add(HeardEvent(Heard::Removed)); }
  void serialPortDidReceiveData(const PelSerialPortRef&, const QByteArray& data) override {
    HeardEvent e(Heard::Data);
    e.data = data;
    add(e);
  }
  void serialPortDidReceivePacketMatchingDescriptor(const PelSerialPortRef&, const QByteArray& packet,
                                                    const std::shared_ptr<PelSerialPacketDescriptor>& d) override {
    HeardEvent e(Heard::Packet);
    e.data = packet;
    e.descriptor = d;
    add(e);
  }
  void serialPortDidReceiveResponseToRequest(const PelSerialPortRef&, const QByteArray& response,
                                             const std::shared_ptr<PelSerialRequest>& request) override {
    HeardEvent e(Heard::Response);
    e.data = response;
    e.request = request;
    add(e);
  }
  void serialPortRequestDidTimeout(const PelSerialPortRef&, const std::shared_ptr<PelSerialRequest>& request) override {
    HeardEvent e(Heard::Timeout);
    e.request = request;
    add(e);
  }
  void serialPortDidEncounterError(const PelSerialPortRef&, const PelPosixError& error) override {
    HeardEvent e(Heard::Error);
    e.errorCode = error.code;
    e.data = error.filePath.toUtf8();
    add(e);
  }
  void serialPortWasOpened(const PelSerialPortRef&) override { add(HeardEvent(Heard::Opened)); }
  void serialPortWasClosed(const PelSerialPortRef&) override { add(HeardEvent(Heard::Closed)); }

  std::vector<HeardEvent> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<Heard> kinds() const {
    std::vector<Heard> out;
    for (const HeardEvent& e : events()) out.push_back(e.what);
    return out;
  }
  int count(Heard what) const {
    int n = 0;
    for (const HeardEvent& e : events()) n += e.what == what ? 1 : 0;
    return n;
  }
  QByteArray receivedData() const {
    QByteArray all;
    for (const HeardEvent& e : events())
      if (e.what == Heard::Data) all += e.data;
    return all;
  }
  bool allOnMainThread() const {
    for (const HeardEvent& e : events())
      if (!e.onMainThread) return false;
    return true;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

 private:
  void add(HeardEvent e) {
    e.onMainThread = mainthread::isMainThread();
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(e));
  }
  std::uint32_t operations_;
  mutable std::mutex mutex_;
  std::vector<HeardEvent> events_;
};

// Opens the port and waits until the delegate (or the port) says so.
inline bool openAndWait(const PelSerialPort::Ref& port, RecordingDelegate& delegate) {
  const int before = delegate.count(Heard::Opened);
  port->open();
  // A failed open leaves the port closed at once; success is announced later.
  if (!port->isOpen()) return false;
  return spinUntil([&] { return delegate.count(Heard::Opened) > before; });
}

// Closes and waits until the close has completed, delegate call included.
inline bool closeAndWait(const PelSerialPort::Ref& port, int ms = 5000) {
  port->close();
  if (!spinUntil([&] { return !port->isOpen(); }, ms)) return false;
  // isOpen() turns false just before serialPortWasClosed is delivered; let that
  // call through so it cannot reach the next test's delegate.
  spinFor(20);
  return true;
}

// Drops the reference and waits until the object is gone (its port thread may
// hold it a little longer), so that the next look-up makes a fresh one.
inline bool releaseAndWait(PelSerialPort::Ref& port, int ms = 5000) {
  std::weak_ptr<PelSerialPort> weak = port;
  port.reset();
  return spinUntil([&] { return weak.expired(); }, ms);
}

}  // namespace ostrel::test
