#include "ostrelctl/OpenFailureDiagnosis.h"

#include "serial/PelSerialPortDelegate.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

namespace ostrel::ctl {
namespace {

class ErrorRecorder final : public PelSerialPortDelegate {
 public:
  bool respondsTo(PelSerialPortDelegateOperation operation) const override {
    return operation == PelSerialPortDelegateOperation::WasRemovedFromSystem ||
           operation == PelSerialPortDelegateOperation::DidEncounterError;
  }
  void serialPortWasRemovedFromSystem(const PelSerialPortRef&) override {}
  void serialPortDidEncounterError(const PelSerialPortRef&, const PelPosixError& error) override {
    if (!error_) error_ = error.code;
  }
  std::optional<int> error() const { return error_; }

 private:
  std::optional<int> error_;
};

}  // namespace

QString OpenFailureDiagnosis::reasonFor(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return QStringLiteral(
          "permission denied; Ostrel's udev rule 70-ostrel.rules gives the user at the seat access to the "
          "common USB serial adapters (apply it with \"sudo udevadm control --reload\" and then "
          "\"sudo udevadm trigger\"), otherwise membership of the group that owns the device, usually "
          "dialout, gives access");
    case EBUSY:
    case EWOULDBLOCK:
      return QStringLiteral("in use by another program, perhaps an Ostrel that has no session bus");
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return QStringLiteral("the device is gone");
    default:
      return QString::fromLocal8Bit(std::strerror(error));
  }
}

QString OpenFailureDiagnosis::explain(const PelSerialPortRef& port) {
  if (!port) return QString();
  const std::shared_ptr<PelSerialPortDelegate> original = port->delegate();
  const auto recorder = std::make_shared<ErrorRecorder>();
  port->setDelegate(recorder);
  port->open();
  const bool openedNow = port->isOpen();
  port->setDelegate(original);
  if (openedNow) {
    port->close();
    return QStringLiteral("%1: could not be opened at first").arg(port->path());
  }
  const std::optional<int> error = recorder->error();
  return QStringLiteral("%1: %2").arg(port->path(), error ? reasonFor(*error) : QStringLiteral("could not be opened"));
}

}  // namespace ostrel::ctl
