#include "MonitorInputScript.h"

#include "mainwindow/MonitorInputInjection.h"

#include <gtest/gtest.h>
#include <utility>

namespace ostrel::test {

void expectKeysStepsAndClicks(FocusProbe& probe, const MonitorSends& sends, const std::vector<QByteArray>& warmUp) {
  const struct {
    const char* line;
    int key;
  } keys[] = {{"key pagedown", Qt::Key_PageDown},
              {"key pageup", Qt::Key_PageUp},
              {"key down", Qt::Key_Down},
              {"key up", Qt::Key_Up},
              {"key delete", Qt::Key_Backspace}};
  for (const auto& k : keys) {
    SCOPED_TRACE(k.line);
    EXPECT_TRUE(sends(k.line, [&] { return probe.count(QEvent::KeyRelease, k.key) == 1; }));
    EXPECT_EQ(probe.count(QEvent::KeyPress, k.key), 1u);
  }

  // Exactly 6 a step: neither the portal's motion nor a virtual pointer is
  // accelerated.
  const struct {
    const char* line;
    QPoint by;
  } steps[] = {{"move right", {6, 0}}, {"move down", {0, 6}}, {"move left", {-6, 0}}, {"move up", {0, -6}}};
  const std::size_t before = probe.inputs.size();
  std::size_t seen = 0;
  for (const QByteArray& line : warmUp) {
    ++seen;
    ASSERT_TRUE(sends(line, [&] { return probe.moves(before).size() >= seen; })) << line.toStdString();
  }
  for (const auto& s : steps) {
    SCOPED_TRACE(s.line);
    const std::size_t from = probe.inputs.size();
    const QPoint last = probe.moves().back();
    ASSERT_TRUE(sends(s.line, [&] { return !probe.moves(from).empty(); }));
    EXPECT_EQ(probe.moves(from).back() - last, s.by);
  }

  for (const auto& [line, button] : {std::pair{"click left", int(Qt::LeftButton)}, {"click right", Qt::RightButton}}) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(sends(line, [&] { return probe.count(QEvent::MouseButtonRelease, button) == 1; }));
    EXPECT_EQ(probe.count(QEvent::MouseButtonPress, button), 1u);
  }
}

void expectLongMoveUntilItStops(FocusProbe& probe, const MonitorSends& sends, const MonitorInputInjection& input,
                                const QByteArray& firstStep) {
  const std::size_t before = probe.moves().size();
  ASSERT_TRUE(sends(firstStep, [&] { return probe.moves().size() > before; }));
  // Seventy points a step, towards the farther vertical edge, so that the
  // compositor's clamping stays out of the way.
  const QPoint start = probe.moves().back();
  const bool up = start.y() > 384;
  const std::size_t from = probe.inputs.size();
  ASSERT_TRUE(sends(up ? "long up" : "long down", [&] { return probe.moves(from).size() >= 3; }));
  const std::vector<QPoint> during = probe.moves(from);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(during[i], start + QPoint(0, (up ? -70 : 70) * int(i + 1))) << "step " << i;
  }
  ASSERT_TRUE(sends("long stop", [&] { return !input.hasRepeatTimer(); }));
  // The repeat is gone and its last step went out before the next single
  // step: from then on, single steps follow each other directly.
  const auto lastStepWas = [&](QPoint by) {
    const std::vector<QPoint> m = probe.moves();
    return m.size() >= 2 && m.back() - m[m.size() - 2] == by;
  };
  ASSERT_TRUE(sends("move right", [&] { return lastStepWas({6, 0}); }));
  const std::size_t marked = probe.moves().size();
  ASSERT_TRUE(sends("move left", [&] { return probe.moves().size() > marked; }));
  EXPECT_EQ(probe.moves().size(), marked + 1);
  EXPECT_TRUE(lastStepWas({-6, 0}));
}

}  // namespace ostrel::test
