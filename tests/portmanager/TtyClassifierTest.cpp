#include "platform/udev/TtyClassifier.h"
#include "platform/udev/TtyHotplugTracker.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>
#include <filesystem>

namespace ostrel::platform {
namespace {

QString fixtureRoot() {
  return QString::fromLocal8Bit(qgetenv("OSTREL_SOURCE_DIR")) + QStringLiteral("/tests/data/sysfs");
}

// The fixture's device directory of a tty, as sysfs canonicalises it.
QString syspathOf(const QString& relative) {
  return QFileInfo(fixtureRoot() + QStringLiteral("/devices/") + relative).canonicalFilePath();
}

struct ClassifyCase {
  const char* name;
  TtyKind kind;
  const char* bus;
  const char* driver;
  int uartType;
};

TEST(TtyClassifier, FixtureTreeKinds) {
  ASSERT_TRUE(QFileInfo(fixtureRoot() + QStringLiteral("/class/tty")).isDir())
      << "fixture missing at " << fixtureRoot().toStdString();
  const ClassifyCase cases[] = {
      {"ttyUSB0", TtyKind::UsbSerial, "usb-serial", "ftdi_sio", -1},
      {"ttyUSB10", TtyKind::UsbSerial, "usb-serial", "pl2303", -1},
      {"ttyACM0", TtyKind::CdcAcm, "usb", "cdc_acm", -1},
      {"ttyS0", TtyKind::Uart, "serial-base", "port", 4},              // 16550A behind serial-base
      {"ttyS1", TtyKind::PlaceholderUart, "serial-base", "port", -1},  // type 0
      {"ttyS2", TtyKind::PlaceholderUart, "platform", "serial8250", -1},
      {"ttyS3", TtyKind::Uart, "pnp", "serial", 4},
      {"ttyS4", TtyKind::PlaceholderUart, "platform", "serial8250", -1},  // type unreadable
      {"ttyAMA0", TtyKind::Uart, "amba", "uart-pl011", 32},
      {"tty1", TtyKind::NoParentDevice, "", "", -1},
      {"console", TtyKind::NoParentDevice, "", "", -1},
      {"ptmx", TtyKind::NoParentDevice, "", "", -1},
      {"rfcomm0", TtyKind::NoParentDevice, "", "", -1},
      {"ttyS9", TtyKind::NoParentDevice, "", "", -1},  // type 4 but no device link
      {"ttyUSB7", TtyKind::Missing, "", "", -1},       // dangling class link
      {"ttyUSB99", TtyKind::Missing, "", "", -1},
      {"", TtyKind::InvalidName, "", "", -1},
      {"..", TtyKind::InvalidName, "", "", -1},
      {"../tty/ttyS0", TtyKind::InvalidName, "", "", -1},
  };
  for (const ClassifyCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TtyClassification got = classifyTtyDevice(fixtureRoot(), QString::fromLatin1(c.name));
    EXPECT_EQ(ttyKindName(got.kind).toStdString(), ttyKindName(c.kind).toStdString());
    EXPECT_EQ(got.bus.toStdString(), c.bus);
    EXPECT_EQ(got.driver.toStdString(), c.driver);
    if (c.uartType > 0) {
      EXPECT_EQ(got.uartType, c.uartType);
    }
    const bool port = c.kind == TtyKind::UsbSerial || c.kind == TtyKind::CdcAcm || c.kind == TtyKind::Uart;
    EXPECT_EQ(got.isSerialPort(), port);
  }
}

TEST(TtyClassifier, ScanListsPortsInNaturalOrderWithEntries) {
  const std::vector<SerialDeviceEntry> found = scanSysfsTtyDevices(fixtureRoot());
  QStringList names;
  for (const auto& e : found) names << e.ttyName;
  EXPECT_EQ(names.join(' ').toStdString(), "ttyACM0 ttyAMA0 ttyS0 ttyS3 ttyUSB0 ttyUSB10");

  ASSERT_FALSE(found.empty());
  const SerialDeviceEntry& usb = found[4];
  EXPECT_EQ(usb.identity, syspathOf(QStringLiteral("pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0")));
  EXPECT_EQ(usb.calloutPath.toStdString(), "/dev/ttyUSB0");
  EXPECT_EQ(usb.dialinPath, usb.calloutPath);
  EXPECT_EQ(usb.baseName.toStdString(), "ttyUSB");
  EXPECT_EQ(usb.suffix.toStdString(), "0");
  EXPECT_EQ(usb.serviceType.toStdString(), "IOSerialStream");

  // What identifies the adapter across re-plugs: the USB device's ids and
  // serial number (blanks as udev writes them), else the device path.
  QStringList identities;
  for (const auto& e : found) identities << e.adapterIdentity;
  EXPECT_EQ(identities, (QStringList{"usb:2341:0043:8573531303", "path:/dev/ttyAMA0", "path:/dev/ttyS0",
                                     "path:/dev/ttyS3", "usb:0403:6001:A5_0285BI", "usb:067b:2303:"}));
}

TEST(TtyClassifier, ScanOfMissingRootIsEmpty) {
  EXPECT_TRUE(scanSysfsTtyDevices(QStringLiteral("/nonexistent/sysfs")).empty());
}

TEST(TtyClassifier, NameSplitAndOrder) {
  struct SplitCase {
    const char* name;
    const char* base;
    const char* suffix;
  };
  const SplitCase splits[] = {
      {"ttyUSB10", "ttyUSB", "10"}, {"ttyS0", "ttyS", "0"}, {"console", "console", ""}, {"12", "", "12"}, {"", "", ""}};
  for (const SplitCase& s : splits) {
    QString base, suffix;
    splitTtyName(QString::fromLatin1(s.name), &base, &suffix);
    EXPECT_EQ(base.toStdString(), s.base) << s.name;
    EXPECT_EQ(suffix.toStdString(), s.suffix) << s.name;
  }
  struct OrderCase {
    const char* a;
    const char* b;
    bool less;
  };
  const OrderCase orders[] = {
      {"ttyS2", "ttyS10", true},  {"ttyS10", "ttyS2", false},
      {"ttyS", "ttyS0", true},    {"ttyACM9", "ttyS0", true},
      {"ttyS007", "ttyS7", true}, {"ttyS7", "ttyS007", false},
      {"ttyS7", "ttyS7", false},  {"ttyUSB99999999999999999999", "ttyUSB100000000000000000000", true},
  };
  for (const OrderCase& o : orders) {
    EXPECT_EQ(ttyNameLess(QString::fromLatin1(o.a), QString::fromLatin1(o.b)), o.less) << o.a << " < " << o.b;
  }
}

// A private copy of the fixture that a test may change (plug, unplug).
class FixtureCopy {
 public:
  FixtureCopy() {
    namespace fs = std::filesystem;
    fs::copy(fixtureRoot().toStdString(), root().toStdString(),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }
  QString root() const { return dir_.path() + QStringLiteral("/sys"); }
  void unplug(const char* name) {
    const QString link = root() + QStringLiteral("/class/tty/") + QLatin1String(name);
    std::filesystem::remove_all(QFileInfo(link).canonicalFilePath().toStdString());
    std::filesystem::remove(link.toStdString());
  }

 private:
  QTemporaryDir dir_;
};

TtyEvent event(TtyEvent::Action action, const QString& root, const char* name) {
  TtyEvent ev;
  ev.action = action;
  ev.kernelName = QString::fromLatin1(name);
  ev.syspath = QFileInfo(root + QStringLiteral("/class/tty/") + ev.kernelName).canonicalFilePath();
  return ev;
}

QString names(const std::vector<SerialDeviceEntry>& entries) {
  QStringList out;
  for (const auto& e : entries) out << e.ttyName;
  return out.join(' ');
}

TEST(TtyHotplugTracker, BatchesFromEventSequences) {
  using A = TtyEvent::Action;
  struct Step {
    A action;
    const char* name;
  };
  struct Case {
    const char* what;
    std::vector<const char*> listedBefore;
    std::vector<Step> steps;
    const char* arrived;
    const char* departed;
  };
  const Case cases[] = {
      {"plug in an adapter", {}, {{A::Add, "ttyUSB0"}}, "ttyUSB0", ""},
      {"console and placeholder are not ports", {}, {{A::Add, "tty1"}, {A::Add, "ttyS1"}, {A::Add, "ptmx"}}, "", ""},
      {"unplug a listed adapter", {"ttyUSB0"}, {{A::Remove, "ttyUSB0"}}, "", "ttyUSB0"},
      {"removal of something never reported is dropped", {}, {{A::Remove, "ttyUSB0"}, {A::Remove, "tty1"}}, "", ""},
      {"two ports in one read", {}, {{A::Add, "ttyUSB0"}, {A::Add, "ttyACM0"}}, "ttyUSB0 ttyACM0", ""},
      {"came and went within the batch", {}, {{A::Add, "ttyUSB0"}, {A::Remove, "ttyUSB0"}}, "", ""},
      {"quick re-plug", {"ttyUSB0"}, {{A::Remove, "ttyUSB0"}, {A::Add, "ttyUSB0"}}, "ttyUSB0", "ttyUSB0"},
      {"duplicate add reported once", {}, {{A::Add, "ttyUSB0"}, {A::Add, "ttyUSB0"}}, "ttyUSB0", ""},
      {"known, added again, then removed", {"ttyUSB0"}, {{A::Add, "ttyUSB0"}, {A::Remove, "ttyUSB0"}}, "", "ttyUSB0"},
      {"removed twice",
       {"ttyUSB0"},
       {{A::Remove, "ttyUSB0"}, {A::Add, "ttyUSB0"}, {A::Remove, "ttyUSB0"}},
       "",
       "ttyUSB0"},
      {"change of an unknown port announces it", {}, {{A::Change, "ttyS0"}}, "ttyS0", ""},
      {"change of a known port is nothing", {"ttyS0"}, {{A::Change, "ttyS0"}}, "", ""},
      {"other actions ignored", {}, {{A::Other, "ttyUSB0"}}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TtyHotplugTracker tracker(fixtureRoot());
    std::vector<SerialDeviceEntry> listed;
    for (const char* n : c.listedBefore)
      listed.push_back(serialDeviceEntryFor(classifyTtyDevice(fixtureRoot(), QString::fromLatin1(n))));
    tracker.remember(listed);
    std::vector<TtyEvent> events;
    for (const Step& s : c.steps) events.push_back(event(s.action, fixtureRoot(), s.name));
    const TtyBatch batch = tracker.take(events);
    EXPECT_EQ(names(batch.arrived).toStdString(), c.arrived);
    EXPECT_EQ(names(batch.departed).toStdString(), c.departed);
  }
}

TEST(TtyHotplugTracker, DepartureAfterTheDeviceVanishedCarriesItsEntry) {
  FixtureCopy sys;
  TtyHotplugTracker tracker(sys.root());
  const TtyEvent add = event(TtyEvent::Action::Add, sys.root(), "ttyACM0");
  TtyBatch first = tracker.take({add});
  ASSERT_EQ(first.arrived.size(), 1u);

  sys.unplug("ttyACM0");
  TtyEvent remove = add;
  remove.action = TtyEvent::Action::Remove;
  const TtyBatch second = tracker.take({remove});
  ASSERT_EQ(second.departed.size(), 1u);
  EXPECT_EQ(second.departed[0].identity, first.arrived[0].identity);
  EXPECT_EQ(second.departed[0].calloutPath.toStdString(), "/dev/ttyACM0");
  EXPECT_FALSE(tracker.knows(add.syspath));

  // An "add" whose device is already gone again is no arrival.
  EXPECT_TRUE(tracker.take({add}).empty());
}

TEST(TtyHotplugTracker, ALaterListingDoesNotSwallowAPendingRemoval) {
  FixtureCopy sys;
  TtyHotplugTracker tracker(sys.root());
  tracker.remember(scanSysfsTtyDevices(sys.root()));
  const TtyEvent usb = event(TtyEvent::Action::Remove, sys.root(), "ttyUSB0");
  // The adapter is pulled; someone lists the devices before the monitor's
  // "remove" is read.
  sys.unplug("ttyUSB0");
  tracker.remember(scanSysfsTtyDevices(sys.root()));
  EXPECT_EQ(names(tracker.take({usb}).departed).toStdString(), "ttyUSB0");
}

TEST(TtyHotplugTracker, ChangeThatTurnsAPortIntoAPlaceholderDeparts) {
  FixtureCopy sys;
  TtyHotplugTracker tracker(sys.root());
  tracker.remember(scanSysfsTtyDevices(sys.root()));
  const TtyEvent change = event(TtyEvent::Action::Change, sys.root(), "ttyS3");
  ASSERT_TRUE(tracker.knows(change.syspath));
  {
    QFile type(change.syspath + QStringLiteral("/type"));
    ASSERT_TRUE(type.open(QIODevice::WriteOnly | QIODevice::Truncate));
    type.write("0\n");
  }
  const TtyBatch batch = tracker.take({change});
  EXPECT_EQ(names(batch.departed).toStdString(), "ttyS3");
  EXPECT_TRUE(batch.arrived.empty());
}

}  // namespace
}  // namespace ostrel::platform
