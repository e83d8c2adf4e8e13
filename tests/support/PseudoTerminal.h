#pragma once
// A pseudo-terminal pair for tests: the slave side is the "serial device" a port
// opens, the master side is the far end (the monitor) that the test drives.
// publish() makes the slave a virtual serial port by linking it into the
// per-user virtual-port directory, exactly as the monitor simulator does.
//
// Everything is released at destruction: the link, both descriptors.

#include <QByteArray>
#include <QString>

namespace ostrel::test {

class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool valid() const { return master_ >= 0; }
  int masterDescriptor() const { return master_; }
  QString slavePath() const { return slavePath_; }

  // Links the slave as <virtual-port directory>/<name>; returns the link path,
  // empty on failure. A second publish() replaces the first link.
  QString publish(const QString& name);
  void unpublish();
  QString linkPath() const { return linkPath_; }

  // The far end writes; true when every byte went out within the time.
  bool write(const QByteArray& bytes, int timeoutMs = 5000);
  // The far end reads exactly `count` bytes, or what came within the time.
  QByteArray read(qsizetype count, int timeoutMs = 5000);
  // Whatever arrives until nothing more has come for quietMs.
  QByteArray readAvailable(int quietMs = 50);
  // Stops (or resumes) the line's output as a device's flow control does: a
  // monitor that stopped reading. Nothing written meanwhile gets through, not
  // even in part; what was written before stays readable.
  bool setOutputStopped(bool stopped);

  // The far end goes away: the slave side hangs up, as an unplugged adapter.
  void closeMaster();
  // Drops the slave descriptor this object holds (it keeps the slave tty alive
  // between the port's opens).
  void closeSlave();

 private:
  int master_ = -1;
  int slave_ = -1;
  QString slavePath_;
  QString linkPath_;
};

// Number of open descriptors of this process (/proc/self/fd).
int openDescriptorCount();
// Number of this process's threads with this name (/proc/self/task/*/comm):
// "ostrel-port" for serial port threads, "ostrel-timer" for timers.
int threadsNamed(const QString& name);

}  // namespace ostrel::test
