#pragma once
// Closes a top-level window the way a window manager's close button does: a
// WM_DELETE_WINDOW message to its client (Xvfb has no window manager).

#include <QString>

namespace ostrel::test {

// `window` as xdotool prints it (decimal). False when the message could not be sent.
bool requestWindowClose(const QString& window);

}  // namespace ostrel::test
