#pragma once
// Command-line options of ostrel-sim.

#include "ostrel-sim/MonitorModel.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace ostrel::sim {

struct SimOptions {
  int mcuVersion = 48;
  QString name = QStringLiteral("ostrel-sim0");
  bool notify = false;
  int replyDelayMs = 0;
  bool split = false;
  ReportPrefix reportPrefix = ReportPrefix::F0;
  bool exitOnEof = false;
  std::optional<std::uint32_t> seed;
};

struct SimOptionsResult {
  std::optional<SimOptions> options;  // set when the simulator should run
  QString error;                      // set when the arguments are wrong
  QString helpText;                   // set when help was asked for
  QString versionText;                // set when the version was asked for
};

// `arguments` as from QCoreApplication::arguments() (program name first).
SimOptionsResult parseSimOptions(const QStringList& arguments);

}  // namespace ostrel::sim
