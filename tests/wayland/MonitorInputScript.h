#pragma once
// What the monitor's keys and pointer controls must do on any desktop, run
// against the focused probe window: the five keys arrive as press and release,
// each step moves the pointer by exactly 6, clicks arrive, and a long move
// steps 70 points at a time until it stops. `sends` writes one console line
// to the simulated monitor and runs the event loop until its condition holds.

#include "FocusProbe.h"

#include <QByteArray>
#include <functional>
#include <vector>

namespace ostrel {
class MonitorInputInjection;
}

namespace ostrel::test {

using MonitorSends = std::function<bool(const QByteArray& line, const std::function<bool()>& done)>;

// Keys, the four steps (`warmUp`: lines sent first, so that the pointer is in
// the probe and away from the edges the compositor clamps at) and both clicks.
void expectKeysStepsAndClicks(FocusProbe& probe, const MonitorSends& sends, const std::vector<QByteArray>& warmUp);

// A long move, its stop, and single steps directly after it; `firstStep`
// ("move right", "move left") brings the pointer into the probe first.
void expectLongMoveUntilItStops(FocusProbe& probe, const MonitorSends& sends, const MonitorInputInjection& input,
                                const QByteArray& firstStep);

}  // namespace ostrel::test
