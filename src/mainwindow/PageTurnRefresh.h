#pragma once
// "Refresh every N page turns": partial updates of page after page leave
// ghosts, so after every Nth page turn Ostrel sends one fast refresh, 300 ms
// after the page key so that the new page is drawn before the flash. A page
// turn is a Page Up or Page Down report from the monitor's own keys and, where
// Ostrel sees every key on the desktop (X11), a press of the keyboard's Page Up
// or Page Down in any program. No other key is counted or kept.
//
// A refresh from anywhere else (the button, a shortcut, Auto Clear, the bus)
// starts the count again, and takes the place of a page-turn refresh still
// waiting for its 300 ms.
//
// Where the keyboard is watched, a page key Ostrel injects for the monitor
// comes back as a keyboard press; that echo is not a second page turn.
//
// Threads: the main thread, except noteRefresh(), which the Auto Clear timer
// calls from its own.

#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace ostrel {

class PageTurnRefresh {
 public:
  static constexpr std::chrono::milliseconds kDelay{300};
  // How long an injected page key may take to come back from the keyboard watch.
  static constexpr std::chrono::milliseconds kEchoWindow{1000};

  explicit PageTurnRefresh(std::function<void()> refresh);
  ~PageTurnRefresh();
  PageTurnRefresh(const PageTurnRefresh&) = delete;
  PageTurnRefresh& operator=(const PageTurnRefresh&) = delete;

  static bool isPageKey(std::uint16_t virtualKeyCode);

  // 0 turns it off; 1..99 page turns between refreshes. The count starts again.
  void setEvery(std::int32_t pageTurns);
  std::int32_t every() const;
  // The keyboard is watched everywhere (X11): its page keys count, and the
  // ones Ostrel injects come back through it.
  void setKeyboardWatched(bool watched);

  // A page key reported by the monitor; `injected`: passed on to the desktop.
  void monitorPageKey(std::uint16_t virtualKeyCode, bool injected);
  // A key pressed on the keyboard anywhere on the desktop.
  void keyboardKey(std::uint16_t virtualKeyCode);
  // Any thread: a fast refresh went out.
  void noteRefresh();

  // Page turns counted since the last refresh.
  std::int32_t count() const;

 private:
  struct Echo {
    std::uint16_t virtualKeyCode;
    std::chrono::steady_clock::time_point until;
  };
  void turn();
  void fire();

  std::function<void()> refresh_;
  bool keyboardWatched_ = false;
  std::deque<Echo> echoes_;
  QTimer delay_;
  mutable std::mutex mutex_;  // guards what noteRefresh() touches
  std::int32_t every_ = 0;
  std::int32_t count_ = 0;
  std::uint64_t refreshes_ = 0;
  std::uint64_t refreshesWhenDue_ = 0;
};

}  // namespace ostrel
