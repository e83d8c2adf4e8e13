#pragma once
// Ends Ostrel in order when the session or a terminal asks it to: SIGTERM
// (logout, `kill`, `make run` stopping it), SIGINT (Ctrl+C) and SIGHUP (the
// terminal went away) quit the event loop like closing the main window, so the
// ports are closed and their line settings restored on the way out.
//
// Contract:
//  - One instance, made on the main thread after the application object.
//  - The signal handlers only write one byte to a pipe; the quit runs on the
//    main thread. A second signal while quitting changes nothing.
//  - Destruction puts the previous handlers back.

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace ostrel {

class TerminationSignals : public QObject {
 public:
  TerminationSignals();
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // False when the handlers could not be installed (logged).
  bool isActive() const { return notifier_ != nullptr; }

 private:
  void received();

  struct Saved;
  std::unique_ptr<Saved> saved_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace ostrel
