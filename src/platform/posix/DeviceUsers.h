#pragma once
// Which other processes have a device open, found the way fuser does: every
// /proc/PID/fd entry of every process we may look at, compared by device
// number, so that a device reached through a link (/dev/serial/by-id, the
// virtual-port directory) is recognised whatever path the other program used.
// A pseudo-terminal is compared within its devpts instance too: a container's
// /dev/pts/0 is another line than the system's /dev/pts/0.
//
// Contract:
//  - deviceUsers(): for each path that leads to a character device, the other
//    processes that hold it open, by PID order; a path nobody else holds (or
//    that is no character device) is absent from the answer.
//  - This process never counts, and neither does the far end of a
//    pseudo-terminal: a process that holds the terminal's master as well (the
//    monitor simulator, a network serial bridge, a test) is the device, not a
//    program using the line.
//  - Processes whose descriptors we may not read (other users', without
//    privileges) are passed over silently: the exclusive open decides then.
//  - Reads only; any thread.

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

namespace ostrel::platform {

struct DeviceUser {
  int pid = 0;
  QString command;  // /proc/PID/comm
};

std::map<QString, std::vector<DeviceUser>> deviceUsers(const QStringList& paths);

}  // namespace ostrel::platform
