#pragma once
// A pseudo-terminal published as a virtual serial port, for the benchmarks
// (which do not depend on the test helpers).

#include <QString>

namespace ostrel::bench {

class BenchPseudoTerminal {
 public:
  explicit BenchPseudoTerminal(const QString& name);
  ~BenchPseudoTerminal();
  BenchPseudoTerminal(const BenchPseudoTerminal&) = delete;
  BenchPseudoTerminal& operator=(const BenchPseudoTerminal&) = delete;

  bool valid() const { return master_ >= 0 && !link_.isEmpty(); }
  int master() const { return master_; }
  QString link() const { return link_; }
  void closeMaster();
  // Stops (or resumes) the line's output, as a peer that stopped reading.
  bool setOutputStopped(bool stopped);

 private:
  int master_ = -1;
  int slave_ = -1;
  QString link_;
};

}  // namespace ostrel::bench
