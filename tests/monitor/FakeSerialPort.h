#pragma once
// A serial port that exists only in memory, behind the same face as the real
// one: the monitor layer's tests need ports that answer like a monitor, stay
// silent, fail or vanish on cue, and that record what was written and when.
//
// Like the real port it keeps each sendData() call's bytes together on its
// "wire" and delivers everything to its delegate on the main thread.
// When a reply is configured for a frame, writing exactly that frame makes the
// port deliver the reply (queued to the main thread, as a read would).

#include "serial/PelSerialPortInterface.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace ostrel::test {

using Clock = std::chrono::steady_clock;

class FakeSerialPort : public PelSerialPortInterface {
 public:
  struct Write {
    Clock::time_point at;
    QByteArray bytes;
  };

  static std::shared_ptr<FakeSerialPort> create(const QString& name);
  FakeSerialPort(QString name, QString path);

  QString name() const override { return name_; }
  QString path() const override { return path_; }
  std::shared_ptr<PelSerialPortDelegate> delegate() const override;
  void setDelegate(const std::weak_ptr<PelSerialPortDelegate>& delegate) override;
  void open() override;
  bool isOpen() const override;
  bool close() override;
  bool sendData(const QByteArray& data) override;
  void sendDataWithCommand(std::int32_t command, std::int32_t optional) override;

  // Behaviour.
  void setReply(const QByteArray& frame, const QByteArray& reply);
  void answerProbeWithMCUVersion(int version);  // "5FF5F00A10VV00000000A0FA"
  void setOpenFails(bool fails) { openFails_ = fails; }
  void setThrowOnOpen(bool throws) { throwOnOpen_ = throws; }

  // Events from the "device".
  void deliver(const QByteArray& chunk);      // queued to the main thread
  void deliverNow(const QByteArray& chunk);   // direct (caller is on the main thread)
  void removeFromSystem();                    // closes, then tells the delegate

  // What happened.
  std::vector<Write> writes() const;
  QList<QByteArray> frames() const;
  QByteArray wire() const;
  int openCount() const;
  std::optional<Clock::time_point> firstOpenAt() const;
  std::optional<Clock::time_point> closedAt() const;
  void clearWrites();

 private:
  const QString name_;
  const QString path_;
  mutable std::mutex mutex_;
  std::weak_ptr<PelSerialPortDelegate> delegate_;
  bool open_ = false;
  bool openFails_ = false;
  bool throwOnOpen_ = false;
  int openCount_ = 0;
  std::optional<Clock::time_point> firstOpenAt_;
  std::optional<Clock::time_point> closedAt_;
  std::vector<Write> writes_;
  QByteArray wire_;
  std::map<QByteArray, QByteArray> replies_;
  std::mutex writeMutex_;  // one frame at a time, as a real port's write lock
};

}  // namespace ostrel::test
