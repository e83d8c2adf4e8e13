#pragma once
// One ostrelctl invocation, parsed, and what became of it.

#include <QString>
#include <cstdint>

namespace ostrel::ctl {

enum class CtlCommand {
  Help,
  Refresh,
  Contrast,  // value: 1..9
  ContrastUp,
  ContrastDown,
  ImageMode,     // value: 2..4
  RefreshSpeed,  // value: 1..5
  FrontLight,    // value: 0..3
  Brightness,    // value: 0..100
  Temperature,   // value: 0..100
  SyncTime,
  Read,
  Status,
  Monitors,
  // The program and start at login.
  Version,
  StartAtLoginOn,
  StartAtLoginOff,
  StartAtLoginStatus,
  // The desktop's own keybindings; they need neither Ostrel nor a monitor.
  GnomeShortcutsAdd,
  GnomeShortcutsRemove,
  GnomeShortcutsStatus,
  Keybindings,  // value: the compositor (keybindings/CompositorKeybindings.h)
  // When Ostrel refreshes by itself.
  PauseWhileIdleOn,
  PauseWhileIdleOff,
  PageRefresh,  // value: 0..99
};

struct CtlRequest {
  CtlCommand command = CtlCommand::Help;
  std::int32_t value = 0;
  bool json = false;
  bool verbose = false;
};

// The process's exit status; scripts rely on these numbers.
enum class ExitCode : int {
  Done = 0,
  Failed = 1,     // the monitor can't do it, did not answer, or Ostrel failed
  Usage = 2,      // bad command line or value out of range; nothing was sent
  NoMonitor = 3,  // no monitor is connected
  NoAccess = 4,   // no Ostrel to ask, and the serial ports can't be opened
};

struct CtlOutcome {
  ExitCode code = ExitCode::Done;
  QString output;  // for standard output (already ends with a line end when not empty)
  QString error;   // for standard error, likewise
};

}  // namespace ostrel::ctl
