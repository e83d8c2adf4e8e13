#include "FocusProbe.h"

#include "support/EventLoopWait.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace ostrel::test {

FocusProbe::FocusProbe() {
  setMouseTracking(true);
}

std::size_t FocusProbe::count(QEvent::Type type, int what) const {
  std::size_t n = 0;
  for (const Input& i : inputs) n += i.type == type && i.what == what ? 1 : 0;
  return n;
}

std::vector<QPoint> FocusProbe::moves(std::size_t from) const {
  std::vector<QPoint> out;
  for (std::size_t i = from; i < inputs.size(); ++i)
    if (inputs[i].type == QEvent::MouseMove) out.push_back(inputs[i].at);
  return out;
}

bool FocusProbe::focus() {
  showFullScreen();
  activateWindow();
  return runEventLoopUntil([this] { return isActiveWindow(); }, 30'000);
}

void FocusProbe::enterEvent(QEnterEvent* e) {
  inputs.push_back({e->type(), 0, e->globalPosition().toPoint()});
}

void FocusProbe::keyPressEvent(QKeyEvent* e) {
  inputs.push_back({e->type(), e->key(), {}});
}

void FocusProbe::keyReleaseEvent(QKeyEvent* e) {
  inputs.push_back({e->type(), e->key(), {}});
}

void FocusProbe::mouseMoveEvent(QMouseEvent* e) {
  inputs.push_back({e->type(), 0, e->globalPosition().toPoint()});
}

void FocusProbe::mousePressEvent(QMouseEvent* e) {
  inputs.push_back({e->type(), int(e->button()), {}});
}

void FocusProbe::mouseReleaseEvent(QMouseEvent* e) {
  inputs.push_back({e->type(), int(e->button()), {}});
}

}  // namespace ostrel::test
