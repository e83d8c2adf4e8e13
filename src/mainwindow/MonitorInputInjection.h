#pragma once
// Turns the monitor's own keys and pointer controls into desktop input.
//
// The monitor is an input device Ostrel trusts only as far as its event table
// goes: only the five keys it may press are ever injected, and a faulty device
// that floods the line cannot flood the desktop (pointer steps are coalesced,
// key presses and clicks beyond a sane rate are dropped, logged once).
//
// Threads: called on the main thread by the reply decoder; the long-move repeat
// runs on a thread of its own and moves the pointer from there.

#include "common/BackgroundTimer.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class QWidget;

namespace ostrel {
namespace platform {
class InputInjector;
}

class MonitorInputInjection {
 public:
  // Without an injector (no X11 session or portal) the monitor's input is dropped; the
  // reason is logged once, here, so the log tells it from the start.
  MonitorInputInjection(std::shared_ptr<platform::InputInjector> injector, const QString& whyNoInjector);
  ~MonitorInputInjection();
  MonitorInputInjection(const MonitorInputInjection&) = delete;
  MonitorInputInjection& operator=(const MonitorInputInjection&) = delete;

  void setScreenSize(float width, float height);

  // A monitor (one that was not there before) joined the list: the injector
  // may now ask the desktop for permission to pass its input on.
  void monitorConnected();

  // The monitor's keys and pointer controls are someone at the monitor:
  // `handler` runs for each key, click, pointer step and long-move step, passed
  // on to the desktop or not, on the thread that handles it (the main thread,
  // or the long-move repeat's). Set it before input arrives.
  void setMonitorInputHandler(std::function<void()> handler);

  // True when the key was passed on to the desktop.
  bool receiveKeyBoardClickWithCode(std::int32_t keyCode);
  void receiveMouseMovePointX(std::int32_t dx, std::int32_t dy);
  void receiveMouseClickEvent(std::int32_t button);
  void mouseClick(std::int32_t button);
  void receiveMouseLongMovePonitX(std::int32_t dx, std::int32_t dy);
  void runTestForOneSecond(std::int32_t dx, std::int32_t dy);
  void receiveKeyBoardClickWithCodeForStarter(QWidget* parent);

  bool isLongMoving() const { return LONGMOVE.load(); }
  bool hasRepeatTimer() const;

  // Rates beyond which the monitor's input counts as a flood.
  static constexpr int kMaxPressesPerSecond = 20;
  static constexpr int kPointerCoalesceMs = 8;

 private:
  // One pointer step with the edge rules; any thread.
  void pointerStep(std::int32_t dx, std::int32_t dy);
  bool admitPress();
  void flushPointer();
  bool injectorMissing() const { return !injector_; }
  void monitorInput() const;

  std::shared_ptr<platform::InputInjector> injector_;
  std::function<void()> monitorInput_;
  std::mutex pointerMutex_;  // held across a step's read and move
  std::atomic<float> widthMax_{0.0f};
  std::atomic<float> heightMax_{0.0f};

  // Long move: the flag is written by the decoder and read by the repeat thread.
  std::atomic<bool> LONGMOVE{false};
  mutable std::mutex timerMutex_;
  std::unique_ptr<BackgroundTimer> timer_s;
  std::uint64_t timerGeneration_ = 0;

  // Flood control (main thread).
  QElapsedTimer pressWindow_;
  int pressesInWindow_ = 0;
  bool floodLogged_ = false;
  QTimer pointerCoalesce_;
  std::int32_t pendingDx_ = 0;
  std::int32_t pendingDy_ = 0;
};

}  // namespace ostrel
