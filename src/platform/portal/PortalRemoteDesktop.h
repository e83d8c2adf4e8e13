#pragma once
// The monitor's keys and pointer through the RemoteDesktop portal (Wayland
// sessions): the desktop injects them through its own input path, so they
// reach whatever application has the focus, native or not.
//
//  - The session (keyboard and pointer) is asked for when a monitor connects
//    (requestAccess()), not at start, so a desktop that asks the user asks
//    when it matters. Until the desktop grants it, input is dropped.
//  - Where the portal offers persistence (version 2) the session is persistent
//    and its restore token kept (RestoreTokenStore), so the user is asked once.
//  - While the desktop's dialog is open (GNOME's "Remote Desktop", Plasma 6's
//    permission dialog) Start stays unanswered: after a moment
//    Ostrel says once that it is waiting for the desktop's confirmation, and
//    asks nothing more until the answer.
//  - A declined or failed session is logged once; input stays off until the
//    next monitor connection. A session the desktop ends is asked for again at
//    the next connection too.
//  - Keys go as evdev press and release; pointer steps as relative motion;
//    clicks as BTN_LEFT / BTN_RIGHT press and release.
//  - The pointer's position cannot be read on Wayland, so pointerPosition() is
//    always empty and movePointerTo() fails: the pointer moves by offsets only,
//    and the compositor, not Ostrel, keeps it on the screens.
//
// Input calls come from any thread (the long-move repeat has one of its own).
// They reach the portal one at a time, each after the portal has taken the
// previous one, so a release never overtakes its press; the answers arrive on
// the main thread.

#include "platform/InputInjector.h"
#include "platform/portal/RestoreTokenStore.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <cstdint>
#include <deque>
#include <mutex>

namespace ostrel::platform::portal {

struct PortalAnswer;

class PortalRemoteDesktop final : public QObject, public InputInjector {
  Q_OBJECT

 public:
  // `deviceTypes`: the portal's AvailableDeviceTypes (0 when unknown).
  PortalRemoteDesktop(const QDBusConnection& bus, std::uint32_t version, std::uint32_t deviceTypes,
                      RestoreTokenStore tokens);
  ~PortalRemoteDesktop() override;

  bool tapKey(std::uint16_t virtualKeyCode) override;
  std::optional<PointerPosition> pointerPosition() override { return std::nullopt; }
  bool movePointerTo(PointerPosition position) override;
  bool movePointerBy(double dx, double dy) override;
  bool clickButton(MouseButton button) override;
  void requestAccess() override;

  static constexpr std::uint32_t kKeyboard = 1;
  static constexpr std::uint32_t kPointer = 2;
  static constexpr std::int32_t kButtonLeft = 0x110;   // BTN_LEFT
  static constexpr std::int32_t kButtonRight = 0x111;  // BTN_RIGHT

 private Q_SLOTS:
  void onSessionClosed(const QDBusMessage& message);
  void onNotified();
  void onNotifyFailed(const QDBusError& error);

 private:
  enum class State { Off, Asking, Active };

  void selectDevices(std::uint64_t generation);
  void startSession(std::uint64_t generation);
  void confirmationShown(std::uint64_t generation);
  void refused(const char* step, const PortalAnswer& answer);
  void closeSession();
  void setDetail(const QString& detail);
  // Queues Notify<what> for each argument tail, in order; false without a
  // session or with the portal far behind.
  bool notify(const QString& method, const std::initializer_list<QVariantList>& tails);
  void sendNextLocked();

  QDBusConnection bus_;
  std::uint32_t version_;
  std::uint32_t deviceTypes_;
  RestoreTokenStore tokens_;
  State state_ = State::Off;  // main thread
  QString session_;           // main thread: the session being set up or in use
  std::uint64_t generation_ = 0;

  std::mutex mutex_;
  QString activeSession_;  // the granted session, for the input calls
  std::deque<QDBusMessage> queue_;
  bool inFlight_ = false;
};

}  // namespace ostrel::platform::portal
