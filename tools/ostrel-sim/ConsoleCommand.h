#pragma once
// The simulator's console: one command per line on standard input, standing in
// for the monitor's own keys, pointer controls and menu, and for plugging and
// unplugging the adapter.
//
//   key pagedown|pageup|down|up|delete    input events 1-5
//   move left|right|down|up               input events 7-10
//   click left|right                      input events 11, 12
//   long up|down|right|left|stop          input events 16-19, 20
//   event N                               any input event number 0-255
//   raw TEXT                              TEXT written to the line as is
//   set contrast|mode|speed|light|brightness|temperature V   (then a notice)
//   state, unplug, replug, help, quit

#include "ostrel-sim/MonitorSetting.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <variant>

namespace ostrel::sim {

struct ConsoleCommand {
  enum class Kind { InputEvent, Raw, Set, State, Unplug, Replug, Help, Quit };
  Kind kind = Kind::Help;
  int event = 0;                        // InputEvent
  QByteArray raw;                       // Raw
  Setting setting = Setting::Contrast;  // Set
  int value = 0;                        // Set
};

struct ConsoleError {
  QString message;  // says what was wrong and what would be accepted
};

struct ConsoleBlank {};  // empty line or comment

using ConsoleLine = std::variant<ConsoleBlank, ConsoleCommand, ConsoleError>;

// `line` without its line end.
ConsoleLine parseConsoleLine(const QByteArray& line);

QString consoleHelp();

}  // namespace ostrel::sim
