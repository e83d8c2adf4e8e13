#include "monitor/PortOpenAdvice.h"

#include "common/Log.h"

#include <QSet>
#include <cerrno>

namespace ostrel {

QString PortOpenAdvice::adviceFor(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      // The rule opens the common adapters to the user at the seat; udev applies
      // a new rule only to devices added after it, hence the two commands.
      return QStringLiteral(
          "permission denied. Ostrel's udev rule 70-ostrel.rules gives the user at the seat access to "
          "CH340/CH341, CP210x, FTDI and PL2303 USB serial adapters: once it is installed, "
          "\"sudo udevadm control --reload\" and then \"sudo udevadm trigger\" apply it without a reboot. "
          "Other adapters need the dialout group: add yourself with \"sudo usermod -aG dialout $USER\", "
          "then log out and in again.");
    case EBUSY:
    case EWOULDBLOCK:
      return QStringLiteral(
          "another program is using it. Usually that is ModemManager (it probes new USB serial adapters), "
          "brltty (it takes CH340 and CP210x adapters for braille displays), a terminal program such as "
          "screen, minicom or picocom, or an IDE's serial monitor. Close it, or stop the service, and Ostrel "
          "tries again when a device is plugged in.");
    default:
      return QString();
  }
}

bool PortOpenAdvice::logOncePerPort(const QString& path, int error) {
  const QString advice = adviceFor(error);
  if (advice.isEmpty()) return false;
  static QSet<QString> advised;
  if (advised.contains(path)) return false;
  advised.insert(path);
  log("%@ can't be opened: %@", path, advice);
  return true;
}

}  // namespace ostrel
