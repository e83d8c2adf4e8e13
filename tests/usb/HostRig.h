#pragma once
// The guest's side of the USB test rig: asks the host (usb-host.py) to plug and
// unplug QEMU's FTDI adapters and reads back what the host's end of each
// adapter received and answered, all through the directory the two share
// ($OSTREL_USB_RIG). A request is a file renamed into place; its answer is a
// file the host renames into place in turn.

#include <QString>
#include <chrono>
#include <optional>
#include <vector>

namespace ostrel::test {

struct RigFrame {
  double at = 0;          // host time, seconds
  bool fromGuest = true;  // rx: written by the guest; tx: the host's answer
  QString text;           // the 24 characters
};

class HostRig {
 public:
  // The shared directory from $OSTREL_USB_RIG; empty when not in the guest.
  HostRig();
  bool available() const { return !dir_.isEmpty(); }
  QString directory() const { return dir_; }

  // Sends one request and returns at once; await() collects the answer.
  int send(const QString& request);
  // "ok ..." or "error ..."; nullopt when no answer came in time.
  std::optional<QString> await(int request, std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // send() and await(); true for an "ok" answer, else *answer says why.
  bool ask(const QString& request, QString* answer = nullptr);

  bool plug(const QString& id, const QString& chardev, const QString& serial) {
    return ask(QStringLiteral("plug %1 %2 %3").arg(id, chardev, serial));
  }
  bool unplug(const QString& id) { return ask(QStringLiteral("unplug %1").arg(id)); }
  // "monitor" answers like the monitor; "silent" takes every frame and answers none.
  bool setMode(const QString& chardev, const QString& mode) {
    return ask(QStringLiteral("mode %1 %2").arg(chardev, mode));
  }

  // Every frame through that chardev so far, in order.
  std::vector<RigFrame> frames(const QString& chardev) const;
  // The frames the guest wrote, from index `from` of frames() on.
  std::vector<QString> received(const QString& chardev, std::size_t from = 0) const;

 private:
  QString dir_;
  int next_ = 1;
};

}  // namespace ostrel::test
