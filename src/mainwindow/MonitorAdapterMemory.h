#pragma once
// The main window's memory of the monitor's adapter: kept in the preferences,
// so that the next start asks that adapter first.
//
// Writing the preference file waits for the disk (the file is synced before it
// replaces the old one), tens of milliseconds on a busy machine, and a monitor
// is accepted while discovery and the read-back are running. So the identity
// and the file are written on a thread of the memory's own, in the order given;
// recall() answers the last identity handed over without touching the store
// until its write is done. The store tells its observers on its own thread.
//
// Contract:
//  - recall() and remember() on the main thread.
//  - An identity that names no adapter is refused with a log line, as
//    rememberMonitorAdapter() does, and nothing is written.
//  - Destruction waits for every write handed over: nothing is lost at exit.

#include <QString>
#include <memory>
#include <mutex>

namespace ostrel {

class PelSerialPortQueue;
class PreferenceStore;

class MonitorAdapterMemory {
 public:
  explicit MonitorAdapterMemory(PreferenceStore& store);
  ~MonitorAdapterMemory();
  MonitorAdapterMemory(const MonitorAdapterMemory&) = delete;
  MonitorAdapterMemory& operator=(const MonitorAdapterMemory&) = delete;

  QString recall() const;
  void remember(const QString& identity);
  // Returns once the file holds everything handed over so far.
  void waitForWrites();

 private:
  PreferenceStore& store_;
  mutable std::mutex mutex_;
  int writesUnderWay_ = 0;  // under mutex_
  QString lastRemembered_;  // under mutex_
  std::unique_ptr<PelSerialPortQueue> writer_;
};

}  // namespace ostrel
