#include "platform/portal/PortalRemoteDesktop.h"

#include "common/DesktopServices.h"
#include "common/Log.h"
#include "platform/portal/PortalRequest.h"
#include "platform/x11/KeyCodeMap.h"

#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusPendingCall>

namespace ostrel::platform::portal {
namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");
constexpr std::uint32_t kPersistUntilRevoked = 2;
constexpr std::uint32_t kReleased = 0;
constexpr std::uint32_t kPressed = 1;
constexpr int kNotifyAnswerMs = 5'000;
// Input the portal has not taken yet; beyond this it is behind by seconds and
// more would only arrive late.
constexpr std::size_t kLongestQueue = 64;

}  // namespace

PortalRemoteDesktop::PortalRemoteDesktop(const QDBusConnection& bus, std::uint32_t version, std::uint32_t deviceTypes,
                                         RestoreTokenStore tokens)
    : bus_(bus), version_(version), deviceTypes_(deviceTypes), tokens_(std::move(tokens)) {
  setDetail(QStringLiteral("the desktop is asked when a monitor connects"));
}

PortalRemoteDesktop::~PortalRemoteDesktop() {
  closeSession();
}

void PortalRemoteDesktop::setDetail(const QString& detail) {
  DesktopServices::shared().setState(
      DesktopService::Input,
      {QStringLiteral("portal"), QStringLiteral("RemoteDesktop portal (version %1): %2").arg(version_).arg(detail)});
}

void PortalRemoteDesktop::requestAccess() {
  if (state_ != State::Off) return;
  state_ = State::Asking;
  const std::uint64_t generation = ++generation_;
  setDetail(QStringLiteral("asking the desktop"));
  const QVariantMap options{{QStringLiteral("session_handle_token"), PortalRequest::nextToken("ostrel_input")}};
  PortalRequest::start(bus_, kInterface, QStringLiteral("CreateSession"), {}, options, this,
                       [this, generation](const PortalAnswer& answer) {
                         if (generation != generation_) return;
                         const QString handle = sessionHandle(answer.results.value(QStringLiteral("session_handle")));
                         if (!answer.done() || handle.isEmpty()) {
                           refused("CreateSession", answer);
                           return;
                         }
                         session_ = handle;
                         bus_.connect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                                      SLOT(onSessionClosed(QDBusMessage)));
                         selectDevices(generation);
                       });
}

void PortalRemoteDesktop::selectDevices(std::uint64_t generation) {
  const std::uint32_t wanted = kKeyboard | kPointer;
  QVariantMap options{{QStringLiteral("types"), deviceTypes_ ? (deviceTypes_ & wanted) : wanted}};
  if (version_ >= 2) {
    options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
    const QString token = tokens_.load();
    if (!token.isEmpty()) options.insert(QStringLiteral("restore_token"), token);
  }
  PortalRequest::start(bus_, kInterface, QStringLiteral("SelectDevices"),
                       {QVariant::fromValue(QDBusObjectPath(session_))}, options, this,
                       [this, generation](const PortalAnswer& answer) {
                         if (generation != generation_) return;
                         if (!answer.done()) {
                           refused("SelectDevices", answer);
                           return;
                         }
                         startSession(generation);
                       });
}

void PortalRemoteDesktop::startSession(std::uint64_t generation) {
  PortalRequest::start(
      bus_, kInterface, QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(session_)), QString()}, {}, this,
      [this, generation](const PortalAnswer& answer) {
        if (generation != generation_) return;
        DesktopServices::shared().setAwaitingConfirmation(DesktopService::Input, false);
        if (!answer.done()) {
          refused("Start", answer);
          return;
        }
        state_ = State::Active;
        {
          std::lock_guard lock(mutex_);
          activeSession_ = session_;
        }
        setDetail(QStringLiteral("the desktop takes the monitor's keys and pointer"));
        log("The desktop takes the monitor's keys and pointer (RemoteDesktop session %@)", session_);
        // Each start hands out a new token; the old one is spent.
        const QString token = answer.results.value(QStringLiteral("restore_token")).toString();
        QString whyNot;
        if (!token.isEmpty() && !tokens_.save(token, &whyNot)) {
          log("The desktop's permission for the monitor's input can't be kept for the next start: %@", whyNot);
        }
      },
      [this, generation] { confirmationShown(generation); });
}

void PortalRemoteDesktop::confirmationShown(std::uint64_t generation) {
  if (generation != generation_ || state_ != State::Asking) return;
  DesktopServices::shared().setAwaitingConfirmation(DesktopService::Input, true);
  setDetail(QStringLiteral("waiting for the desktop's confirmation"));
  log("The desktop asks the user whether Ostrel may pass on the monitor's keys and pointer; waiting for the "
      "desktop's confirmation");
}

void PortalRemoteDesktop::refused(const char* step, const PortalAnswer& answer) {
  closeSession();
  state_ = State::Off;
  DesktopServices::shared().setAwaitingConfirmation(DesktopService::Input, false);
  if (answer.code == PortalAnswer::kDeclined && answer.error.isEmpty()) {
    setDetail(QStringLiteral("the desktop declined; asked again when a monitor connects"));
    log("The desktop declined to take the monitor's keys and pointer; they stay off until a monitor is connected "
        "again");
    return;
  }
  const QString why = !answer.error.isEmpty() ? answer.error : QStringLiteral("response %1").arg(answer.code);
  setDetail(QStringLiteral("%1 failed (%2); asked again when a monitor connects").arg(QLatin1String(step), why));
  log("The desktop could not start a session for the monitor's keys and pointer (%s: %@); they stay off until a "
      "monitor is connected again",
      step, why);
}

void PortalRemoteDesktop::onSessionClosed(const QDBusMessage& message) {
  if (session_.isEmpty() || message.path() != session_) return;
  ++generation_;
  {
    std::lock_guard lock(mutex_);
    activeSession_.clear();
    queue_.clear();
  }
  // The desktop closed it: nothing is left to close.
  bus_.disconnect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                  SLOT(onSessionClosed(QDBusMessage)));
  session_.clear();
  state_ = State::Off;
  DesktopServices::shared().setAwaitingConfirmation(DesktopService::Input, false);
  setDetail(QStringLiteral("the desktop ended the session; asked again when a monitor connects"));
  log("The desktop ended the session for the monitor's keys and pointer; it is asked again when a monitor is "
      "connected");
}

void PortalRemoteDesktop::closeSession() {
  {
    std::lock_guard lock(mutex_);
    activeSession_.clear();
    queue_.clear();
  }
  if (session_.isEmpty()) return;
  bus_.disconnect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                  SLOT(onSessionClosed(QDBusMessage)));
  bus_.asyncCall(closeSessionCall(session_));
  session_.clear();
}

bool PortalRemoteDesktop::notify(const QString& method, const std::initializer_list<QVariantList>& tails) {
  std::lock_guard lock(mutex_);
  if (activeSession_.isEmpty()) return false;
  if (queue_.size() + tails.size() > kLongestQueue) return false;
  const QVariant session = QVariant::fromValue(QDBusObjectPath(activeSession_));
  for (const QVariantList& tail : tails) {
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kInterface, method);
    call.setArguments(QVariantList{session, QVariantMap()} + tail);
    call.setAutoStartService(false);
    queue_.push_back(call);
  }
  if (!inFlight_) sendNextLocked();
  return true;
}

void PortalRemoteDesktop::sendNextLocked() {
  inFlight_ = !queue_.empty();
  if (!inFlight_) return;
  const QDBusMessage call = queue_.front();
  queue_.pop_front();
  // The portal handles calls on threads of its own and may pass them on out
  // of order: a key's release could overtake its press. One call at a time,
  // each after the portal has passed the previous one on, keeps the order.
  bus_.callWithCallback(call, this, SLOT(onNotified()), SLOT(onNotifyFailed(QDBusError)), kNotifyAnswerMs);
}

void PortalRemoteDesktop::onNotified() {
  std::lock_guard lock(mutex_);
  sendNextLocked();
}

void PortalRemoteDesktop::onNotifyFailed(const QDBusError& error) {
  (void)error;  // a session the desktop ended says so itself (Closed)
  onNotified();
}

bool PortalRemoteDesktop::tapKey(std::uint16_t virtualKeyCode) {
  const std::optional<std::uint16_t> evdev = x11::evdevCodeForVirtualKeyCode(virtualKeyCode);
  if (!evdev) return false;
  const int code = *evdev;
  return notify(QStringLiteral("NotifyKeyboardKeycode"), {{code, kPressed}, {code, kReleased}});
}

bool PortalRemoteDesktop::movePointerTo(PointerPosition position) {
  (void)position;
  return false;
}

bool PortalRemoteDesktop::movePointerBy(double dx, double dy) {
  return notify(QStringLiteral("NotifyPointerMotion"), {{dx, dy}});
}

bool PortalRemoteDesktop::clickButton(MouseButton button) {
  const int code = button == MouseButton::Left ? kButtonLeft : kButtonRight;
  return notify(QStringLiteral("NotifyPointerButton"), {{code, kPressed}, {code, kReleased}});
}

}  // namespace ostrel::platform::portal
