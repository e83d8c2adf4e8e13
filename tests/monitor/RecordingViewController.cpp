#include "RecordingViewController.h"

#include "monitor/MonitorState.h"

namespace ostrel::test {

void RecordingViewController::updateViewCurrentMCUVersion(std::int32_t v) {
  // As the main window does: the version is kept, nothing is shown.
  currentMCUVersion = v;
  record("updateViewCurrentMCUVersion", v);
}

void RecordingViewController::updateMainViewContent() {
  calls << QStringLiteral("updateMainViewContent()");
  if (onUpdateMainViewContent) onUpdateMainViewContent();
}

void RecordingViewController::record(const char* op, std::int32_t a) {
  calls << QStringLiteral("%1(%2)").arg(QLatin1String(op)).arg(a);
}

void RecordingViewController::record(const char* op, std::int32_t a, std::int32_t b) {
  calls << QStringLiteral("%1(%2,%3)").arg(QLatin1String(op)).arg(a).arg(b);
}

}  // namespace ostrel::test
