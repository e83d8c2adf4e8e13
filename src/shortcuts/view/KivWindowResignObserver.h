#pragma once
// Tells when a window stops being the active (key) window: the window was
// deactivated because another window, a dialog or another application took the
// keyboard. Watches one top-level widget; stop() or destroying the observer ends
// the watch. The handler may stop the observer (and schedule its deletion) from
// inside its own call.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace ostrel {

class KivWindowResignObserver : public QObject {
  Q_OBJECT

 public:
  KivWindowResignObserver(QWidget* window, std::function<void()> didResign);
  ~KivWindowResignObserver() override;

  QWidget* window() const { return window_; }
  void stop();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> window_;
  std::function<void()> didResign_;
};

}  // namespace ostrel
