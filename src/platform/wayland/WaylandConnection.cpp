#include "platform/wayland/WaylandConnection.h"

#include "common/Log.h"

#include <poll.h>
#include <wayland-client.h>
#include <QMetaObject>
#include <cerrno>
#include <cstring>

namespace ostrel::platform::wayland {
namespace {

const wl_callback_listener kDoneListener{
    .done = [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; },
};

}  // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::open(QString* whyNot) {
  const QString name = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    if (whyNot) {
      *whyNot = QStringLiteral("no Wayland compositor accepts connections at WAYLAND_DISPLAY=%1 (%2)")
                    .arg(name, QString::fromLocal8Bit(std::strerror(errno)));
    }
    return nullptr;
  }
  std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display, name));
  if (!connection->registry_ || !connection->roundTrip()) {
    if (whyNot) {
      *whyNot = QStringLiteral("the Wayland compositor at WAYLAND_DISPLAY=%1 did not answer (%2)")
                    .arg(name, connection->lossReason());
    }
    return nullptr;
  }
  return connection;
}

WaylandConnection::WaylandConnection(wl_display* display, QString name)
    : display_(display, wl_display_disconnect),
      name_(std::move(name)),
      registry_(ownProxy(wl_display_get_registry(display), wl_registry_destroy)) {
  static const wl_registry_listener listener{.global = onGlobal, .global_remove = onGlobalRemove};
  if (registry_) wl_registry_add_listener(registry_.get(), &listener, this);
  notifier_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(display), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
}

WaylandConnection::~WaylandConnection() {
  notifier_.reset();
  registry_.reset();
  // The destroy requests of the objects let go before this one.
  if (!lost()) wl_display_flush(display_.get());
}

void WaylandConnection::onGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
                                 std::uint32_t version) {
  static_cast<WaylandConnection*>(data)->globals_.push_back({name, QString::fromUtf8(interface), version});
}

void WaylandConnection::onGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
  auto& globals = static_cast<WaylandConnection*>(data)->globals_;
  std::erase_if(globals, [name](const Global& g) { return g.name == name; });
}

bool WaylandConnection::offers(const wl_interface& interface) const {
  const QLatin1String wanted(interface.name);
  for (const Global& g : globals_) {
    if (g.interface == wanted) return true;
  }
  return false;
}

void* WaylandConnection::bindGlobal(const wl_interface& interface, std::uint32_t version) {
  const QLatin1String wanted(interface.name);
  for (const Global& g : globals_) {
    if (g.interface == wanted)
      return wl_registry_bind(registry_.get(), g.name, &interface, std::min(version, g.version));
  }
  return nullptr;
}

bool WaylandConnection::roundTrip(std::chrono::milliseconds timeout) {
  if (lost()) return false;
  bool done = false;
  WaylandProxy<wl_callback> callback = ownProxy(wl_display_sync(display_.get()), wl_callback_destroy);
  if (!callback) return false;
  wl_callback_add_listener(callback.get(), &kDoneListener, &done);
  return pumpUntil([&done] { return done; }, std::chrono::steady_clock::now() + timeout);
}

bool WaylandConnection::pumpUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline) {
  wl_display* d = display_.get();
  const int fd = wl_display_get_fd(d);
  while (!done()) {
    // Events already read (by an earlier round) come first; reading is only
    // allowed once the queue is empty.
    while (wl_display_prepare_read(d) != 0) {
      if (wl_display_dispatch_pending(d) < 0) {
        noteLoss();
        return false;
      }
      if (done()) return true;
    }
    if (wl_display_flush(d) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(d);
      noteLoss();
      return false;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    int ready = 0;
    do {
      ready = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
      wl_display_cancel_read(d);
      return false;
    }
    if (wl_display_read_events(d) < 0 || wl_display_dispatch_pending(d) < 0) {
      noteLoss();
      return false;
    }
  }
  return true;
}

void WaylandConnection::readEvents() {
  if (lost()) return;
  wl_display* d = display_.get();
  while (wl_display_prepare_read(d) != 0) {
    if (wl_display_dispatch_pending(d) < 0) {
      noteLoss();
      return;
    }
  }
  // The socket said it is readable, and libwayland reads without waiting.
  if (wl_display_read_events(d) < 0 || wl_display_dispatch_pending(d) < 0) {
    noteLoss();
    return;
  }
  flush();
}

WaylandConnection::Flush WaylandConnection::flush() {
  if (lost()) return Flush::Broken;
  if (wl_display_flush(display_.get()) >= 0) return Flush::Sent;
  if (errno == EAGAIN) return Flush::Pending;
  noteLoss();
  return Flush::Broken;
}

QString WaylandConnection::lossReason() const {
  wl_display* d = display_.get();
  const int error = wl_display_get_error(d);
  if (error == 0) return QStringLiteral("no answer within %1 s").arg(kAnswerTime.count() / 1000);
  if (error == EPROTO) {
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    const std::uint32_t code = wl_display_get_protocol_error(d, &interface, &id);
    return QStringLiteral("protocol error %1 on %2@%3")
        .arg(code)
        .arg(QLatin1String(interface ? interface->name : "an unknown object"))
        .arg(id);
  }
  return QString::fromLocal8Bit(std::strerror(error));
}

void WaylandConnection::noteLoss() {
  if (lost_.exchange(true)) return;
  // Any thread may find the connection broken; the loss is told on the main
  // thread, and not at all once this connection is gone.
  QMetaObject::invokeMethod(
      notifier_.get(), [this] { reportLoss(); }, Qt::QueuedConnection);
}

void WaylandConnection::reportLoss() {
  if (lossReported_) return;
  lossReported_ = true;
  // A broken socket stays readable for ever.
  notifier_->setEnabled(false);
  log("The Wayland compositor at WAYLAND_DISPLAY=%@ closed Ostrel's connection (%@)", name_, lossReason());
  if (lossHandler_) lossHandler_();
}

}  // namespace ostrel::platform::wayland
