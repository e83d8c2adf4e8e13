#include "platform/udev/TtyClassifier.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace ostrel::platform {
namespace {

namespace fs = std::filesystem;

fs::path toPath(const QString& s) {
  return fs::path(QFile::encodeName(s).toStdString());
}
QString fromPath(const fs::path& p) {
  return QFile::decodeName(QByteArray::fromStdString(p.string()));
}

// The last component of a link's target ("../../bus/usb-serial" -> "usb-serial");
// empty when the link is missing.
QString linkTargetName(const fs::path& link) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(link, ec);
  if (ec) return {};
  return fromPath(target.filename());
}

// sysfs attributes are small; a bounded read keeps a strange file from costing
// anything.
bool readSmallFile(const fs::path& file, std::string* out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  char buf[4096];
  in.read(buf, sizeof buf);
  out->assign(buf, static_cast<size_t>(in.gcount()));
  return true;
}

QString devNameFromUevent(const fs::path& ueventFile) {
  std::string text;
  if (!readSmallFile(ueventFile, &text)) return {};
  const QStringList lines =
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).split(QLatin1Char('\n'));
  for (const QString& line : lines) {
    if (line.startsWith(QLatin1String("DEVNAME="))) return line.mid(8).trimmed();
  }
  return {};
}

// A device name must stay below /dev.
bool isSafeDevName(const QString& name) {
  if (name.isEmpty() || name.startsWith(QLatin1Char('/'))) return false;
  const QStringList parts = name.split(QLatin1Char('/'));
  return std::none_of(parts.begin(), parts.end(), [](const QString& p) {
    return p.isEmpty() || p == QLatin1String(".") || p == QLatin1String("..");
  });
}

bool isValidKernelName(const QString& name) {
  return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
         !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// Compares two strings of decimal digits by value, without overflowing.
int compareDigits(const QString& a, const QString& b) {
  auto stripped = [](const QString& s) {
    qsizetype i = 0;
    while (i + 1 < s.size() && s[i] == QLatin1Char('0')) ++i;
    return s.mid(i);
  };
  const QString x = stripped(a), y = stripped(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  return x.compare(y);
}

QString trimmedAttribute(const fs::path& file) {
  std::string text;
  if (!readSmallFile(file, &text)) return {};
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())).trimmed();
}

// The USB device a line hangs off (the nearest ancestor with idVendor and
// idProduct), read as udev's usb_id does: ids in lower-case hex, the serial
// number with every character outside printable ASCII, blanks included,
// replaced by '_'.
void findUsbDevice(const fs::path& sysfsRoot, const fs::path& from, TtyClassification* c) {
  const fs::path devices = sysfsRoot / "devices";
  std::error_code ec;
  fs::path dir = from;
  for (int depth = 0; depth < 8 && dir.string().starts_with(devices.string()); ++depth, dir = dir.parent_path()) {
    if (!fs::exists(dir / "idVendor", ec) || !fs::exists(dir / "idProduct", ec)) continue;
    const QString vendor = trimmedAttribute(dir / "idVendor").toLower();
    const QString product = trimmedAttribute(dir / "idProduct").toLower();
    static const QRegularExpression fourHex(QStringLiteral("^[0-9a-f]{4}$"));
    if (!fourHex.match(vendor).hasMatch() || !fourHex.match(product).hasMatch()) return;
    c->usbVendor = vendor;
    c->usbProduct = product;
    QString serial = trimmedAttribute(dir / "serial").left(126);
    for (QChar& ch : serial) {
      if (ch.unicode() <= 0x20 || ch.unicode() >= 0x7f) ch = QLatin1Char('_');
    }
    c->usbSerial = serial;
    return;
  }
}

}  // namespace

QString ttyKindName(TtyKind kind) {
  switch (kind) {
    case TtyKind::UsbSerial:
      return QStringLiteral("usb-serial");
    case TtyKind::CdcAcm:
      return QStringLiteral("cdc-acm");
    case TtyKind::Uart:
      return QStringLiteral("uart");
    case TtyKind::OtherBusDevice:
      return QStringLiteral("bus device");
    case TtyKind::NoParentDevice:
      return QStringLiteral("virtual");
    case TtyKind::PlaceholderUart:
      return QStringLiteral("uart placeholder");
    case TtyKind::Missing:
      return QStringLiteral("missing");
    case TtyKind::InvalidName:
      return QStringLiteral("invalid name");
  }
  return QStringLiteral("unknown");
}

bool TtyClassification::isSerialPort() const {
  switch (kind) {
    case TtyKind::UsbSerial:
    case TtyKind::CdcAcm:
    case TtyKind::Uart:
    case TtyKind::OtherBusDevice:
      return true;
    case TtyKind::NoParentDevice:
    case TtyKind::PlaceholderUart:
    case TtyKind::Missing:
    case TtyKind::InvalidName:
      return false;
  }
  return false;
}

TtyClassification classifyTtyDevice(const QString& sysfsRoot, const QString& kernelName) {
  TtyClassification c;
  c.kernelName = kernelName;
  if (!isValidKernelName(kernelName)) {
    c.kind = TtyKind::InvalidName;
    return c;
  }
  std::error_code ec;
  const fs::path classEntry = toPath(sysfsRoot) / "class" / "tty" / toPath(kernelName);
  const fs::path syspath = fs::canonical(classEntry, ec);
  if (ec || !fs::is_directory(syspath, ec)) {
    c.kind = TtyKind::Missing;
    return c;
  }
  c.syspath = fromPath(syspath);

  const QString devName = devNameFromUevent(syspath / "uevent");
  c.devName = isSafeDevName(devName) ? devName : kernelName;

  const fs::path parentLink = syspath / "device";
  const fs::path parent = fs::canonical(parentLink, ec);
  if (ec || !fs::is_directory(parent, ec)) {
    c.kind = TtyKind::NoParentDevice;
    return c;
  }
  c.bus = linkTargetName(parent / "subsystem");
  c.driver = linkTargetName(parent / "driver");
  findUsbDevice(fs::canonical(toPath(sysfsRoot), ec), parent, &c);

  // Only serial-core ports carry "type"; where it exists it decides whether
  // there is a UART behind the name at all.
  const fs::path typeFile = syspath / "type";
  const bool hasType = fs::exists(typeFile, ec);
  if (hasType) {
    std::string text;
    bool ok = readSmallFile(typeFile, &text);
    const int type =
        ok ? QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())).trimmed().toInt(&ok) : 0;
    if (!ok || type <= 0) {
      c.kind = TtyKind::PlaceholderUart;
      return c;
    }
    c.uartType = type;
  }

  if (c.bus == QLatin1String("usb-serial")) {
    c.kind = TtyKind::UsbSerial;
  } else if (c.driver == QLatin1String("cdc_acm")) {
    c.kind = TtyKind::CdcAcm;
  } else if (hasType) {
    c.kind = TtyKind::Uart;
  } else {
    c.kind = TtyKind::OtherBusDevice;
  }
  return c;
}

void splitTtyName(const QString& ttyName, QString* baseName, QString* suffix) {
  qsizetype cut = ttyName.size();
  while (cut > 0 && ttyName[cut - 1].isDigit() && ttyName[cut - 1].unicode() < 128) --cut;
  if (baseName) *baseName = ttyName.left(cut);
  if (suffix) *suffix = ttyName.mid(cut);
}

SerialDeviceEntry serialDeviceEntryFor(const TtyClassification& classification) {
  SerialDeviceEntry e;
  e.identity = classification.syspath;
  e.calloutPath = QStringLiteral("/dev/") + classification.devName;
  e.dialinPath = e.calloutPath;
  e.ttyName = classification.kernelName;
  splitTtyName(e.ttyName, &e.baseName, &e.suffix);
  e.adapterIdentity = classification.usbVendor.isEmpty()
                          ? QStringLiteral("path:") + e.calloutPath
                          : QStringLiteral("usb:%1:%2:%3")
                                .arg(classification.usbVendor, classification.usbProduct, classification.usbSerial);
  return e;
}

bool ttyNameLess(const QString& a, const QString& b) {
  QString baseA, suffixA, baseB, suffixB;
  splitTtyName(a, &baseA, &suffixA);
  splitTtyName(b, &baseB, &suffixB);
  if (const int byBase = baseA.compare(baseB); byBase != 0) return byBase < 0;
  if (suffixA.isEmpty() != suffixB.isEmpty()) return suffixA.isEmpty();
  if (const int byNumber = compareDigits(suffixA, suffixB); byNumber != 0) return byNumber < 0;
  return a < b;
}

std::vector<SerialDeviceEntry> scanSysfsTtyDevices(const QString& sysfsRoot) {
  std::vector<SerialDeviceEntry> found;
  std::error_code ec;
  // Iterating with an error code: a tty vanishing mid-scan must not throw.
  for (fs::directory_iterator it(toPath(sysfsRoot) / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
    const TtyClassification c = classifyTtyDevice(sysfsRoot, fromPath(it->path().filename()));
    if (c.isSerialPort()) found.push_back(serialDeviceEntryFor(c));
  }
  std::sort(found.begin(), found.end(),
            [](const SerialDeviceEntry& x, const SerialDeviceEntry& y) { return ttyNameLess(x.ttyName, y.ttyName); });
  return found;
}

}  // namespace ostrel::platform
