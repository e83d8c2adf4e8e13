// The device registry and its virtual-port source: what counts as a port, how
// arrivals and departures are seen, and how ports are made from entries.

#include "common/Log.h"
#include "platform/posix/VirtualPortBackend.h"
#include "platform/posix/VirtualPortDirectory.h"
#include "serial/PelDeviceRegistry.h"
#include "serial/PelSerialPort.h"
#include "serial/SerialTestSupport.h"
#include "support/PseudoTerminal.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ostrel::test {
namespace {

using platform::SerialDeviceEntry;
using platform::VirtualPortBackend;

QString directory() {
  QString error;
  const std::optional<QString> dir = platform::ensureVirtualPortDirectory(&error);
  EXPECT_TRUE(dir) << error.toStdString();
  return dir.value_or(QString());
}

bool makeLink(const QString& target, const QString& name) {
  return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(directory() + "/" + name).constData()) == 0;
}

void clearDirectory() {
  QDir dir(directory());
  for (const QString& name : dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
    const QString path = dir.filePath(name);
    if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink()) QDir(path).removeRecursively();
    else ::unlink(QFile::encodeName(path).constData());
  }
}

// These tests empty the virtual-port directory. Outside the test runner (which
// gives every test its own XDG_RUNTIME_DIR) they must not touch the user's.
class PrivateRuntimeDirectory : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qgetenv("OSTREL_TEST_SCRATCH").isEmpty()) return;
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir_->path()));
  }

 private:
  std::unique_ptr<QTemporaryDir> dir_;
};
const auto* const kPrivateRuntime = ::testing::AddGlobalTestEnvironment(new PrivateRuntimeDirectory);

class VirtualPorts : public ::testing::Test {
 protected:
  void SetUp() override { clearDirectory(); }
  void TearDown() override { clearDirectory(); }
};

struct EntryCase {
  const char* name;
  std::function<bool(const QString& name, PseudoTerminal& pty)> make;
  bool counts;
  const char* reason;  // part of the log line for an ignored entry
};

TEST_F(VirtualPorts, OnlyLinksToTerminalsCount) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.valid());
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  const QString regular = scratch.filePath("plain.txt");
  {
    QFile f(regular);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a device");
  }
  const EntryCase cases[] = {
      {"ttyPTY0", [](const QString& n, PseudoTerminal& p) { return makeLink(p.slavePath(), n); }, true, ""},
      {"nullDevice", [](const QString& n, PseudoTerminal&) { return makeLink("/dev/null", n); }, false,
       "is not a terminal"},
      {"regularFile", [&](const QString& n, PseudoTerminal&) { return makeLink(regular, n); }, false,
       "is not a character device"},
      {"dangling", [](const QString& n, PseudoTerminal&) { return makeLink("/nonexistent/ttyX", n); }, false,
       "cannot be reached"},
      {"disk", [](const QString& n, PseudoTerminal&) { return makeLink("/dev/loop0", n); }, false, ""},
      {"notALink", [](const QString& n, PseudoTerminal&) {
         QFile f(directory() + "/" + n);
         return f.open(QIODevice::WriteOnly);
       },
       false, "is not a symbolic link"},
      {"multiplexer", [](const QString& n, PseudoTerminal&) { return makeLink("/dev/ptmx", n); }, false,
       "is not a terminal"},
  };
  for (const EntryCase& c : cases) ASSERT_TRUE(c.make(QString::fromLatin1(c.name), pty)) << c.name;

  VirtualPortBackend backend;
  LogCapture capture;
  const std::vector<SerialDeviceEntry> entries = backend.enumerate();
  for (const EntryCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = directory() + "/" + c.name;
    const bool listed = std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return e.calloutPath == path; });
    EXPECT_EQ(listed, c.counts);
    const QStringList mentions = capture.lines().filter(path + ":");
    EXPECT_EQ(mentions.size(), c.counts ? 0 : 1) << capture.lines().join("\n").toStdString();
    if (!c.counts && mentions.size() == 1) {
      EXPECT_TRUE(mentions.front().contains(QString::fromLatin1(c.reason)));
    }
  }
  ASSERT_EQ(entries.size(), 1u);
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(pty.slavePath()).constData(), &st), 0);
  const SerialDeviceEntry& e = entries.front();
  EXPECT_EQ(e.identity, QStringLiteral("%1/ttyPTY0@%2:%3").arg(directory()).arg(major(st.st_rdev)).arg(minor(st.st_rdev)));
  EXPECT_EQ(e.dialinPath, e.calloutPath);
  EXPECT_EQ(e.ttyName, QStringLiteral("ttyPTY0"));
  EXPECT_EQ(e.baseName, QStringLiteral("ttyPTY"));
  EXPECT_EQ(e.suffix, QStringLiteral("0"));
  EXPECT_EQ(e.serviceType, QStringLiteral("IOSerialStream"));

  // The same bad entries are not reported again on the next look.
  capture.clear();
  EXPECT_EQ(backend.enumerate().size(), 1u);
  EXPECT_TRUE(capture.lines().isEmpty()) << capture.lines().join("\n").toStdString();
}

struct UnsafeDirectoryCase {
  const char* label;
  // Prepares <runtime>/ostrel so that nobody else's devices could be planted.
  std::function<bool(const QString& runtime)> plant;
  const char* reason;
};

TEST_F(VirtualPorts, UnsafeDirectoryIsRefused) {
  const UnsafeDirectoryCase cases[] = {
      {"a link planted in its place",
       [](const QString& runtime) {
         return QDir().mkpath(runtime + "/elsewhere") &&
                ::symlink(QFile::encodeName(runtime + "/elsewhere").constData(),
                          QFile::encodeName(runtime + "/ostrel").constData()) == 0;
       },
       "symbolic link"},
      {"another user's directory",
       [](const QString& runtime) {
         return QDir().mkpath(runtime + "/ostrel") &&
                ::chown(QFile::encodeName(runtime + "/ostrel").constData(), ::geteuid() + 1, ::getegid()) == 0;
       },
       "another user"},
  };
  const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
  for (const UnsafeDirectoryCase& c : cases) {
    SCOPED_TRACE(c.label);
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString runtime = scratch.path();
    ASSERT_TRUE(c.plant(runtime));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    VirtualPortBackend backend;
    LogCapture capture;
    EXPECT_TRUE(backend.enumerate().empty());
    EXPECT_TRUE(backend.enumerate().empty());
    EXPECT_EQ(capture.lines().size(), 1) << "refused once, not on every look";
    if (!capture.lines().isEmpty()) {
      EXPECT_TRUE(capture.lines().front().contains(QString::fromLatin1(c.reason))) << capture.lines().front().toStdString();
    }
    QString why;
    EXPECT_FALSE(backend.startWatching([](const auto&, const auto&) {}, &why));
    EXPECT_TRUE(why.contains(QString::fromLatin1(c.reason)));
  }
  qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

TEST_F(VirtualPorts, ArrivalsAndDeparturesComeInBatches) {
  VirtualPortBackend backend;
  std::vector<std::pair<std::vector<SerialDeviceEntry>, std::vector<SerialDeviceEntry>>> batches;
  QString why;
  ASSERT_TRUE(backend.startWatching(
      [&](const auto& arrived, const auto& departed) {
        EXPECT_TRUE(mainthread::isMainThread());
        batches.emplace_back(arrived, departed);
      },
      &why))
      << why.toStdString();

  PseudoTerminal a, b;
  ASSERT_TRUE(makeLink(a.slavePath(), "ttyA"));
  ASSERT_TRUE(makeLink(b.slavePath(), "ttyB"));
  ASSERT_TRUE(spinUntil([&] {
    std::size_t n = 0;
    for (const auto& batch : batches) n += batch.first.size();
    return n == 2;
  }));
  const std::size_t arrivalBatches = batches.size();
  EXPECT_LE(arrivalBatches, 2u);

  // A link to something else arrives as nothing.
  ASSERT_TRUE(makeLink("/dev/null", "ttyNull"));
  spinFor(100);
  EXPECT_EQ(batches.size(), arrivalBatches);

  // Pointing a link elsewhere is a departure plus an arrival, in one batch.
  batches.clear();
  ASSERT_EQ(::unlink(QFile::encodeName(directory() + "/ttyA").constData()), 0);
  ASSERT_TRUE(makeLink(b.slavePath(), "ttyA"));
  ASSERT_TRUE(spinUntil([&] {
    std::size_t arrived = 0, departed = 0;
    for (const auto& batch : batches) {
      arrived += batch.first.size();
      departed += batch.second.size();
    }
    return arrived == 1 && departed == 1;
  }));

  batches.clear();
  clearDirectory();
  ASSERT_TRUE(spinUntil([&] {
    std::size_t departed = 0;
    for (const auto& batch : batches) departed += batch.second.size();
    return departed == 2;
  }));
  backend.stopWatching();
  batches.clear();
  ASSERT_TRUE(makeLink(a.slavePath(), "ttyA"));
  spinFor(100);
  EXPECT_TRUE(batches.empty());
}

// A source that lists what it is given: the udev source's stand-in (there is
// no serial hardware on a build machine).
class ListedDevices : public platform::DeviceRegistryBackend {
 public:
  explicit ListedDevices(std::vector<SerialDeviceEntry> entries) : entries_(std::move(entries)) {}
  QString sourceName() const override { return "listed"; }
  std::vector<SerialDeviceEntry> enumerate() override { return entries_; }
  bool startWatching(ChangeHandler, QString* whyNot) override {
    *whyNot = "listed devices never change";
    return false;
  }
  void stopWatching() override {}

 private:
  std::vector<SerialDeviceEntry> entries_;
};

SerialDeviceEntry entry(const QString& identity, const QString& path, const QString& dialin = {}) {
  SerialDeviceEntry e;
  e.identity = identity;
  e.calloutPath = path;
  e.dialinPath = dialin.isEmpty() ? path : dialin;
  e.ttyName = QFileInfo(path).fileName();
  return e;
}

TEST(DeviceRegistry, CombinesSourcesAndFindsByPath) {
  PelDeviceRegistry registry;
  registry.addBackend(std::make_unique<ListedDevices>(std::vector<SerialDeviceEntry>{
      entry("/sys/a", "/dev/ttyUSB0"), entry("/sys/b", "/dev/cu.b", "/dev/tty.b")}));
  registry.addBackend(std::make_unique<ListedDevices>(std::vector<SerialDeviceEntry>{
      entry("/sys/shadow", "/dev/ttyUSB0"), entry("/sys/c", "/dev/ttyACM0")}));
  registry.addBackend(nullptr);
  EXPECT_EQ(registry.backendCount(), 2u);

  QStringList identities;
  for (const SerialDeviceEntry& e : registry.enumerate()) identities << e.identity;
  EXPECT_EQ(identities, (QStringList{"/sys/a", "/sys/b", "/sys/c"}));

  struct Lookup {
    QString path;
    QString identity;  // empty: none
  };
  const Lookup lookups[] = {
      {"/dev/ttyUSB0", "/sys/a"}, {"/dev/cu.b", "/sys/b"}, {"/dev/tty.b", "/sys/b"},
      {"/dev/ttyACM0", "/sys/c"}, {"", ""},                {"/dev/ttyS9", ""},
  };
  for (const Lookup& l : lookups) {
    SCOPED_TRACE(l.path.toStdString());
    const std::optional<SerialDeviceEntry> found = registry.deviceFromBSDPath(l.path);
    EXPECT_EQ(found ? found->identity : QString(), l.identity);
  }
  EXPECT_TRUE(PelDeviceRegistry::isSameDevice(entry("/sys/a", "/x"), entry("/sys/a", "/y")));
  EXPECT_FALSE(PelDeviceRegistry::isSameDevice(entry("/sys/a", "/x"), entry("/sys/b", "/x")));
  EXPECT_FALSE(PelDeviceRegistry::isSameDevice(entry("", "/x"), entry("", "/x")));

  QString why;
  EXPECT_FALSE(registry.startWatching([](const auto&, const auto&) {}, &why));
  EXPECT_TRUE(why.contains("listed devices never change"));
}

TEST_F(VirtualPorts, PortsAreMadeFromTheSharedRegistry) {
  PseudoTerminal pty;
  const QString path = pty.publish("ttyMonitor3");
  EXPECT_EQ(PelSerialPort::serialPortWithPath(directory() + "/nothing-here"), nullptr);
  EXPECT_EQ(PelSerialPort::serialPortWithPath(QString()), nullptr);

  auto port = PelSerialPort::serialPortWithPath(path);
  ASSERT_TRUE(port);
  EXPECT_EQ(port->path(), path);
  EXPECT_EQ(port->name(), QStringLiteral("ttyMonitor3"));
  EXPECT_EQ(port->description(), port->name());
  EXPECT_FALSE(port->isOpen());
  EXPECT_EQ(port->baudRate(), 115200u);
  EXPECT_EQ(port->numberOfDataBits(), 8u);
  EXPECT_EQ(port->numberOfStopBits(), 1u);
  EXPECT_EQ(port->parity(), PelSerialPort::kParityNone);

  // Same device: the live object comes back.
  EXPECT_EQ(PelSerialPort::serialPortWithPath(path), port);
  EXPECT_EQ(PelSerialPort::existingPortWithPath(path), port);
  {
    const auto all = PelSerialPort::allSerialPorts();
    EXPECT_EQ(std::count(all.begin(), all.end(), port), 1);
  }

  // Same path, different device (the link now leads elsewhere): a new object,
  // equal by path.
  PseudoTerminal other;
  pty.unpublish();
  const QString again = other.publish("ttyMonitor3");
  ASSERT_EQ(again, path);
  auto replacement = PelSerialPort::serialPortWithPath(path);
  ASSERT_TRUE(replacement);
  EXPECT_NE(replacement, port);
  EXPECT_TRUE(replacement->isEqual(*port));
  EXPECT_EQ(replacement->hash(), port->hash());

  // Destroyed ports leave the registry.
  PelSerialPort* raw = port.get();
  port.reset();
  replacement.reset();
  for (const auto& live : PelSerialPort::allSerialPorts()) EXPECT_NE(live.get(), raw);
  EXPECT_EQ(PelSerialPort::existingPortWithPath(path), nullptr);
}

}  // namespace
}  // namespace ostrel::test
