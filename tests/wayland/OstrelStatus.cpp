#include "OstrelStatus.h"

#include "support/ChildProcess.h"

#include <gtest/gtest.h>
#include <QJsonDocument>

namespace ostrel::test {

using namespace std::chrono_literals;

QJsonObject statusJson() {
  ChildProcess ctl;
  QString error;
  EXPECT_TRUE(ctl.start(buildProgram(QStringLiteral("ostrelctl")), {QStringLiteral("status"), QStringLiteral("--json")},
                        &error))
      << error.toStdString();
  ctl.waitForExit(60s);
  ctl.waitForEndOfStreams(10s);
  QByteArray out;
  for (const StampedLine& line : ctl.lines(ChildStream::Output)) out += line.text + '\n';
  return QJsonDocument::fromJson(out).object();
}

}  // namespace ostrel::test
