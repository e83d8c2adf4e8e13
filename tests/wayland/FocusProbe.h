#pragma once
// "Another application": a full-screen window of the test's own that keeps
// every key, pointer motion and button that reaches it, and where the pointer
// entered it: the focused window of a Wayland desktop's tests.

#include <QEvent>
#include <QPoint>
#include <QWidget>
#include <cstddef>
#include <ostream>
#include <vector>

class QEnterEvent;
class QKeyEvent;
class QMouseEvent;

// Readable points in test failures.
inline void PrintTo(const QPoint& p, std::ostream* out) {
  *out << '(' << p.x() << ", " << p.y() << ')';
}

namespace ostrel::test {

class FocusProbe : public QWidget {
 public:
  struct Input {
    QEvent::Type type;
    int what;  // the key or the button
    QPoint at;
  };
  FocusProbe();
  std::vector<Input> inputs;

  std::size_t count(QEvent::Type type, int what) const;
  // Where the pointer was at each move, from input `from` on.
  std::vector<QPoint> moves(std::size_t from = 0) const;
  // Shows it full screen and waits until it is the active window.
  bool focus();

 protected:
  void enterEvent(QEnterEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
};

}  // namespace ostrel::test
