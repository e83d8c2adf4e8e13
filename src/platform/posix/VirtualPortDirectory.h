#pragma once
// The per-user directory of virtual serial ports: $XDG_RUNTIME_DIR/ostrel/serial/
// (or /tmp/ostrel-UID/serial/ when XDG_RUNTIME_DIR is unset). Every symbolic link
// in it to a terminal device counts as a serial port; the monitor simulator and
// tests publish pseudo-terminals there.

#include <QString>
#include <optional>

namespace ostrel::platform {

// The directory's path, without touching the file system.
QString virtualPortDirectoryPath();

// Creates the directory (and its parents) when missing, private to the user
// (0700). Refuses, with a reason in *error, a directory that is a symbolic link
// itself, is not a directory, or is owned by another user, so that nobody can
// plant devices in it. Returns the path on success.
std::optional<QString> ensureVirtualPortDirectory(QString* error);

}  // namespace ostrel::platform
