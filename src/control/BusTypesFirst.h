#pragma once
// Call at the start of main, before the first D-Bus connection of the process.
//
// Qt's D-Bus thread finishes each reply on its own after the caller has woken:
// for an error reply it still queues a signal carrying a QDBusError and a
// QDBusMessage. A program that exits right after a refused call can therefore
// still have that thread at work while global statics are destroyed. In Qt 6.4
// the thread's manager is created on the first connection and the registry of
// custom metatypes only after it (when the connection registers the D-Bus
// types); statics go in reverse order, so the registry went first and the late
// signal printed "Trying to construct an instance of an invalid type" on the
// program's standard error. Registering the D-Bus types before any connection
// exists creates the registry first, so it outlives the manager, whose
// destructor stops the thread. Later Qt versions set up that order themselves;
// there this is a no-op.

namespace ostrel {

void registerBusTypesBeforeFirstConnection();

}  // namespace ostrel
