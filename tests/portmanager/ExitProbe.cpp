// A tiny program for the exit tests: it opens every virtual port the shared
// port manager lists and then ends, either by quitting its event loop ("app")
// or, with no application object at all ("plain"), by returning from main.
// What the ports' delegate hears is printed on standard output.
#include "platform/posix/VirtualPortDirectory.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialPortDelegate.h"
#include "serial/PelSerialPortManager.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

class PrintingDelegate : public ostrel::PelSerialPortDelegate {
 public:
  bool respondsTo(ostrel::PelSerialPortDelegateOperation op) const override {
    using Op = ostrel::PelSerialPortDelegateOperation;
    return ostrel::hasOperation(Op::WasRemovedFromSystem | Op::WasOpened, op);
  }
  void serialPortWasRemovedFromSystem(const ostrel::PelSerialPortRef& port) override {
    std::printf("removed %s\n", port->name().toUtf8().constData());
  }
  void serialPortWasOpened(const ostrel::PelSerialPortRef& port) override {
    std::printf("opened %s\n", port->name().toUtf8().constData());
    ++opened;
  }
  std::atomic<int> opened{0};
};

std::shared_ptr<PrintingDelegate> delegate = std::make_shared<PrintingDelegate>();

int openVirtualPorts() {
  const QString dir = ostrel::platform::virtualPortDirectoryPath();
  int count = 0;
  for (const auto& port : ostrel::PelSerialPortManager::sharedSerialPortManager().availablePorts()) {
    if (!port->path().startsWith(dir)) continue;
    port->setDelegate(delegate);
    port->open();
    ++count;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const bool plain = argc > 1 && std::strcmp(argv[1], "plain") == 0;
  if (plain) {
    const int count = openVirtualPorts();
    for (int i = 0; i < 500 && delegate->opened < count; ++i) QThread::msleep(10);
    std::printf("ending with %d listed\n",
                int(ostrel::PelSerialPortManager::sharedSerialPortManager().countOfAvailablePorts()));
    return 0;  // the process-exit handler does the rest
  }
  QCoreApplication app(argc, argv);
  const int count = openVirtualPorts();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (delegate->opened >= count) app.quit();
  });
  poll.start(10);
  const int rc = app.exec();
  std::printf("after quit %d listed\n",
              int(ostrel::PelSerialPortManager::sharedSerialPortManager().countOfAvailablePorts()));
  return rc;
}
