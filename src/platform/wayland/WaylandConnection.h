#pragma once
// One client connection to the Wayland compositor ($WAYLAND_DISPLAY), of a
// backend's own, so that Ostrel's requests and their errors never mix with Qt's
// connection: a protocol error ends this connection only.
//
//  - open() connects and learns the compositor's globals in one round trip;
//    null with a reason a person can act on when there is no compositor to
//    connect to, or it does not answer in time.
//  - The connection is read on the main thread, through a socket notifier of
//    its event loop. Reading never blocks; listeners run there.
//  - Requests may be sent from any thread (libwayland serialises them);
//    flush() pushes them out without waiting for the compositor.
//  - Once the compositor closed the connection or raised a protocol error,
//    lost() is true, nothing reaches it any more, and the loss handler runs
//    once, on the main thread.
// Construct, read and destroy on the main thread, after the QCoreApplication
// exists.

#include "platform/wayland/WaylandProxy.h"

#include <QSocketNotifier>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct wl_display;
struct wl_interface;
struct wl_registry;

namespace ostrel::platform::wayland {

class WaylandConnection {
 public:
  struct Global {
    std::uint32_t name;
    QString interface;
    std::uint32_t version;
  };

  // How long the compositor may take to answer a round trip.
  static constexpr std::chrono::milliseconds kAnswerTime{5'000};

  static std::unique_ptr<WaylandConnection> open(QString* whyNot);
  ~WaylandConnection();
  WaylandConnection(const WaylandConnection&) = delete;
  WaylandConnection& operator=(const WaylandConnection&) = delete;

  wl_display* display() const { return display_.get(); }
  const std::vector<Global>& globals() const { return globals_; }
  bool offers(const wl_interface& interface) const;
  // Binds the first global of `interface` at `version`, or at the highest
  // version it offers if that is lower; null when it offers none.
  template <typename T>
  T* bind(const wl_interface& interface, std::uint32_t version) {
    return static_cast<T*>(bindGlobal(interface, version));
  }

  // Waits, at most `timeout`, until the compositor has handled every request
  // sent so far, and dispatches what it sent meanwhile. False when the
  // connection broke or the time ran out.
  bool roundTrip(std::chrono::milliseconds timeout = kAnswerTime);

  enum class Flush { Sent, Pending, Broken };
  // Pending: the compositor is not reading; the requests wait in libwayland's
  // buffer and go with the next flush.
  Flush flush();

  bool lost() const { return lost_.load(); }
  // Why the connection was lost, for the log.
  QString lossReason() const;
  void setLossHandler(std::function<void()> handler) { lossHandler_ = std::move(handler); }

 private:
  WaylandConnection(wl_display* display, QString name);
  void* bindGlobal(const wl_interface& interface, std::uint32_t version);
  void readEvents();
  // Reads and dispatches until `done()` holds; false on loss or at `deadline`.
  bool pumpUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline);
  void noteLoss();
  void reportLoss();

  static void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
  static void onGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);

  std::unique_ptr<wl_display, void (*)(wl_display*)> display_;
  QString name_;
  WaylandProxy<wl_registry> registry_;
  std::vector<Global> globals_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::atomic<bool> lost_{false};
  bool lossReported_ = false;
  std::function<void()> lossHandler_;
};

}  // namespace ostrel::platform::wayland
