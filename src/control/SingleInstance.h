#pragma once
// One Ostrel per session. Two would fight over the monitor's port (each claims
// it for exclusive use), so a second launch hands over to the first instead.
//
// claim(): publishes the service object, then asks the bus for the name
// VELDOR.Ostrel without queueing.
//  - The name is ours: Primary. (The object is published before the name is
//    asked for, so a launch racing ours always finds the object there.)
//  - Another process holds it: the object is withdrawn and the owner is asked
//    to raise its window (Activate). Secondary when it answers,
//    SecondaryUnreachable when it does not (then still no second Ostrel: the
//    first one holds the port). With HandOver::Quietly (a start at login, which
//    must not pop a running Ostrel's window up) the owner is only pinged.
//  - No session bus, or the bus refuses us: PrimaryWithoutBus, logged once.
//    Ostrel works from its window and its shortcuts; only ostrelctl's bus path
//    and the single-instance check are missing.
// Call it on the main thread, after the application object exists and before
// anything opens a serial port.

#include <QDBusConnection>
#include <optional>

namespace ostrel {

class OstrelControlService;

enum class InstanceRole { Primary, PrimaryWithoutBus, Secondary, SecondaryUnreachable };
enum class HandOver { ShowWindow, Quietly };

class SingleInstance {
 public:
  static constexpr int kActivateTimeoutMs = 5000;

  static InstanceRole claim(OstrelControlService& service, const QDBusConnection& bus,
                            HandOver handOver = HandOver::ShowWindow);

  // What main() does with a role: the exit status when this process must stop
  // (0 after handing over, 1 when the first instance did not answer), nothing
  // when it goes on.
  static std::optional<int> exitStatus(InstanceRole role);
};

}  // namespace ostrel
