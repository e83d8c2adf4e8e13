#pragma once
// "Another application" on a headless desktop: a full-screen native window of
// the test's own that keeps every key, pointer motion and button that
// reaches it, and where the pointer entered it.

#include "support/EventLoopWait.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPoint>
#include <QWidget>
#include <vector>

namespace ostrel::test {

class FocusProbe : public QWidget {
 public:
  struct Input {
    QEvent::Type type;
    int what;  // the key or the button
    QPoint at;
  };
  FocusProbe() { setMouseTracking(true); }
  std::vector<Input> inputs;

  std::size_t count(QEvent::Type type, int what) const {
    std::size_t n = 0;
    for (const Input& i : inputs) n += i.type == type && i.what == what ? 1 : 0;
    return n;
  }
  std::vector<QPoint> moves(std::size_t from = 0) const {
    std::vector<QPoint> out;
    for (std::size_t i = from; i < inputs.size(); ++i)
      if (inputs[i].type == QEvent::MouseMove) out.push_back(inputs[i].at);
    return out;
  }
  bool focus() {
    showFullScreen();
    activateWindow();
    return runEventLoopUntil([this] { return isActiveWindow(); }, 30'000);
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override { inputs.push_back({e->type(), e->key(), {}}); }
  void keyReleaseEvent(QKeyEvent* e) override { inputs.push_back({e->type(), e->key(), {}}); }
  void enterEvent(QEnterEvent* e) override { inputs.push_back({e->type(), 0, e->globalPosition().toPoint()}); }
  void mouseMoveEvent(QMouseEvent* e) override { inputs.push_back({e->type(), 0, e->globalPosition().toPoint()}); }
  void mousePressEvent(QMouseEvent* e) override { inputs.push_back({e->type(), int(e->button()), {}}); }
  void mouseReleaseEvent(QMouseEvent* e) override { inputs.push_back({e->type(), int(e->button()), {}}); }
};


}  // namespace ostrel::test
