#pragma once
// A byte buffer of bounded length that keeps the newest bytes.
//
// Contract:
//  - appendData() appends, then drops bytes from the front until at most
//    maximumLength() remain; a buffer of maximum length 0 stays empty.
//  - clearBuffer() empties the buffer.
//  - data() is the current contents, oldest byte first (a shallow, implicitly
//    shared copy: later changes to the buffer do not show in it).
//  - Observers registered with addObserver() are called, in registration order,
//    after every appendData() and clearBuffer() call, on the thread that made
//    the change. An observer may read the buffer, add or remove observers or
//    change the buffer again; observers added during a notification are first
//    called for the next change.
//  - Not thread-safe: one thread at a time (a port keeps its buffers on its
//    request queue).

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <vector>

namespace ostrel {

class PelSerialBuffer {
 public:
  using Observer = std::function<void()>;
  using ObserverToken = quint64;

  explicit PelSerialBuffer(quint64 maximumLength);
  PelSerialBuffer(const PelSerialBuffer&) = delete;
  PelSerialBuffer& operator=(const PelSerialBuffer&) = delete;

  void appendData(const QByteArray& data);
  void clearBuffer();
  QByteArray data() const { return internalBuffer_; }
  quint64 maximumLength() const { return maximumLength_; }

  // Returns a token for removeObserver(); tokens are never reused.
  ObserverToken addObserver(Observer observer);
  // Unknown or already removed tokens are ignored.
  void removeObserver(ObserverToken token);

 private:
  void notifyObservers();

  struct Registration {
    ObserverToken token;
    Observer observer;
  };

  quint64 maximumLength_;
  QByteArray internalBuffer_;
  std::vector<Registration> observers_;
  ObserverToken nextToken_ = 1;
};

}  // namespace ostrel
