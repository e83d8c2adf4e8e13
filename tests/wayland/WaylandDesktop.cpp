#include "WaylandDesktop.h"

#include "support/ChildProcess.h"

#include <fcntl.h>
#include <unistd.h>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <cerrno>

namespace ostrel::test {

std::optional<std::string> missingDesktop() {
  const QString missing = qEnvironmentVariable("OSTREL_WAYLAND_MISSING");
  if (missing.isEmpty()) return std::nullopt;
  return "the headless Wayland desktop is not installed here (missing: " + missing.toStdString() + ")";
}

bool requireAllTests() {
  return qEnvironmentVariable("OSTREL_REQUIRE_ALL_TESTS") == QLatin1String("1");
}

unsigned portalVersion(const QString& interface) {
  QDBusMessage get = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << interface << QStringLiteral("version");
  const QDBusMessage answer = QDBusConnection::sessionBus().call(get, QDBus::Block, 10'000);
  if (answer.type() == QDBusMessage::ErrorMessage || answer.arguments().isEmpty()) return 0;
  return answer.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
}

QImage kwinScreenshot(QString* error) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *error = QStringLiteral("pipe failed");
    return {};
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.kde.KWin.ScreenShot2"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
      QStringLiteral("org.kde.KWin.ScreenShot2"), QStringLiteral("CaptureWorkspace"));
  call << QVariantMap{{QStringLiteral("include-cursor"), false}, {QStringLiteral("native-resolution"), true}}
       << QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]));
  // KWin answers with the image's size first and writes the pixels from a
  // thread of its own; the pipe stays open on this side (the sent message
  // keeps a copy), so exactly the announced bytes are read.
  const QDBusMessage answer = QDBusConnection::sessionBus().call(call, QDBus::Block, 60'000);
  ::close(fds[1]);
  const QVariantMap r = qdbus_cast<QVariantMap>(answer.arguments().value(0));
  const int width = r.value(QStringLiteral("width")).toInt();
  const int height = r.value(QStringLiteral("height")).toInt();
  const int stride = r.value(QStringLiteral("stride")).toInt();
  if (answer.type() == QDBusMessage::ErrorMessage || width <= 0 || height <= 0 || stride < width * 4) {
    ::close(fds[0]);
    *error = QStringLiteral("no screenshot: %1").arg(answer.errorMessage());
    return {};
  }
  QByteArray pixels(qsizetype(stride) * height, Qt::Uninitialized);
  qsizetype got = 0;
  while (got < pixels.size()) {
    const ssize_t n = ::read(fds[0], pixels.data() + got, static_cast<size_t>(pixels.size() - got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += n;
  }
  ::close(fds[0]);
  if (got < pixels.size()) {
    *error = QStringLiteral("short screenshot: %1 of %2 bytes").arg(got).arg(pixels.size());
    return {};
  }
  const auto format = static_cast<QImage::Format>(r.value(QStringLiteral("format")).toInt());
  return QImage(reinterpret_cast<const uchar*>(pixels.constData()), width, height, stride, format)
      .convertToFormat(QImage::Format_RGB32);
}

QImage westonScreenshot(QString* error) {
  // weston-screenshooter writes into its working directory.
  const QString previous = QDir::currentPath();
  const QString folder = qEnvironmentVariable("OSTREL_TEST_SCRATCH") + QStringLiteral("/shots");
  QDir().mkpath(folder);
  QDir::setCurrent(folder);
  ChildProcess shooter;
  const bool started = shooter.start(QStringLiteral("/usr/bin/weston-screenshooter"), {}, error);
  QDir::setCurrent(previous);
  if (!started) return {};
  const std::optional<ChildExit> exit = shooter.waitForExit(std::chrono::seconds(60));
  const QStringList files = QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files);
  if (!exit || files.isEmpty()) {
    *error = QStringLiteral("weston-screenshooter wrote nothing");
    return {};
  }
  return QImage(folder + QLatin1Char('/') + files.constFirst()).convertToFormat(QImage::Format_RGB32);
}

bool saveScreenshot(const QImage& image, const QString& name) {
  const QString build = qEnvironmentVariable("OSTREL_BUILD_DIR");
  const QString folder = build + QStringLiteral("/screenshots");
  return !build.isEmpty() && QDir().mkpath(folder) &&
         image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

double shareOf(const QImage& image, QRgb colour) {
  qint64 same = 0;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) same += (line[x] & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
  }
  return image.isNull() ? 0.0 : double(same) / (double(image.width()) * image.height());
}

}  // namespace ostrel::test
