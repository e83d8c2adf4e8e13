#include "support/PrivateBus.h"

#include <QDir>
#include <QFile>

namespace ostrel::test {

bool PrivateBus::start(const QString& name, QString* error) {
  const QString dir = qEnvironmentVariable("OSTREL_TEST_SCRATCH") + QLatin1Char('/') + name;
  const QString config = dir + QStringLiteral(".conf");
  QDir().mkpath(dir);
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    *error = QStringLiteral("cannot write %1").arg(config);
    return false;
  }
  file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                            "<busconfig><type>system</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>\n"
                            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                 .arg(dir)
                 .toUtf8());
  file.close();
  if (!daemon_.start(
          QStringLiteral("/usr/bin/dbus-daemon"),
          {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address=1")},
          error)) {
    return false;
  }
  if (!daemon_.waitForLineCount(ChildStream::Output, 1, std::chrono::seconds(20))) {
    *error = QStringLiteral("dbus-daemon gave no address");
    return false;
  }
  address_ = QString::fromUtf8(daemon_.lines(ChildStream::Output).front().text);
  return true;
}

}  // namespace ostrel::test
