#pragma once
// The application's local key monitor: while installed, its handler sees every
// key press, key release and shortcut check (QEvent::ShortcutOverride) in any of
// Ostrel's windows before the focused widget does, and may take the event.
//
// Contract:
//  - One application-wide event filter; installing it again replaces the handler.
//  - A handler answering Consume takes the event: it is accepted and goes no
//    further (a taken shortcut check also keeps the application's shortcuts from
//    firing, so the key press itself arrives next). PassThrough leaves the event
//    alone.
//  - The handler may remove the monitor, or install another handler, from inside
//    its own call.
//  - Main thread only.

#include <QObject>
#include <QPointer>
#include <functional>

class QKeyEvent;

namespace ostrel {

class KivLocalKeyMonitor : public QObject {
  Q_OBJECT

 public:
  enum class Disposition { PassThrough, Consume };
  using Handler = std::function<Disposition(QKeyEvent& event)>;

  // The process's monitor, created on first use as a child of the application.
  static KivLocalKeyMonitor& shared();

  void install(Handler handler);
  void remove();
  bool isInstalled() const { return static_cast<bool>(handler_); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  KivLocalKeyMonitor();
  Handler handler_;
};

}  // namespace ostrel
