#include "mainwindow/MonitorAdapterMemory.h"

#include "serial/PelSerialPortQueue.h"
#include "settings/PreferenceStore.h"
#include "settings/ProgramValues.h"

namespace ostrel {

MonitorAdapterMemory::MonitorAdapterMemory(PreferenceStore& store)
    : store_(store), writer_(std::make_unique<PelSerialPortQueue>(QStringLiteral("ostrel.preferences.adapter"))) {}

MonitorAdapterMemory::~MonitorAdapterMemory() {
  // The queue drops what has not started: let every write run first.
  waitForWrites();
}

QString MonitorAdapterMemory::recall() const {
  {
    // While the file is being written the store is busy with the disk.
    std::lock_guard lock(mutex_);
    if (writesUnderWay_ > 0) return lastRemembered_;
  }
  return rememberedMonitorAdapter(store_);
}

void MonitorAdapterMemory::remember(const QString& identity) {
  if (!isMonitorAdapterIdentity(identity)) {
    rememberMonitorAdapter(store_, identity);  // refuses it, with its log line
    return;
  }
  {
    std::lock_guard lock(mutex_);
    ++writesUnderWay_;
    lastRemembered_ = identity;
  }
  writer_->post([this, identity] {
    rememberMonitorAdapter(store_, identity);
    std::lock_guard lock(mutex_);
    --writesUnderWay_;
  });
}

void MonitorAdapterMemory::waitForWrites() {
  writer_->runAndWait([] {});
}

}  // namespace ostrel
