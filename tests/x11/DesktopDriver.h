#pragma once
// Drives the test's X server the way a person would: keys and pointer through
// xdotool, layouts through setxkbmap. And waits that keep both the Qt event
// loop (where the backends deliver) and the test client reading.

#include "XTestClient.h"

#include <QStringList>
#include <chrono>
#include <functional>

namespace ostrel::testing {

// Runs xdotool with the arguments; true when it exits with status 0.
bool xdotool(const QStringList& arguments);
// Runs setxkbmap with the arguments (for example {"de"}).
bool setxkbmap(const QStringList& arguments);

// Runs the event loop and polls the client until done() holds or time is up.
bool waitFor(const std::function<bool()>& done, XTestClient& client,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Runs the event loop and polls the client for a while, for checks that
// something does NOT happen.
void settle(XTestClient& client, std::chrono::milliseconds duration = std::chrono::milliseconds(400));

// Caps Lock and Num Lock off, by pressing them where they are on.
void switchLocksOff(XTestClient& client);

}  // namespace ostrel::testing
