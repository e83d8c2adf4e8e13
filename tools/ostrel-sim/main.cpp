// ostrel-sim: a simulated e-paper monitor for trying Ostrel without hardware.
#include "ostrel-sim/ConsoleOutput.h"
#include "ostrel-sim/SimOptions.h"
#include "ostrel-sim/Simulator.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const ostrel::sim::SimOptionsResult parsed = ostrel::sim::parseSimOptions(QCoreApplication::arguments());
  if (!parsed.helpText.isEmpty() || !parsed.versionText.isEmpty()) {
    std::fputs((parsed.helpText + parsed.versionText).toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (!parsed.options) {
    ostrel::sim::printDiagnostic(parsed.error + QStringLiteral(" (see ostrel-sim --help)"));
    return 2;
  }
  ostrel::sim::Simulator simulator(*parsed.options);
  QString error;
  if (!simulator.start(&error)) {
    ostrel::sim::printDiagnostic(error);
    return 1;
  }
  return QCoreApplication::exec();
}
