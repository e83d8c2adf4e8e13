#include "app/IdleSourceChooser.h"

#include "platform/IdleMonitor.h"
#include "platform/logind/LogindLockMonitor.h"
#include "platform/mutter/MutterIdleMonitor.h"
#include "platform/screensaver/ScreenSaverIdleMonitor.h"
#include "platform/screensaver/ScreenSaverLockMonitor.h"
#include "platform/wayland/WaylandPlatform.h"
#include "platform/x11/X11Platform.h"

#include <QDBusConnection>
#include <QStringList>

namespace ostrel {
namespace {

template <typename Monitor>
struct Candidate {
  const char* backend;
  bool (*fits)(SessionKind kind);
  std::unique_ptr<Monitor> (*create)(QString* whyNot);
};

bool anySession(SessionKind) {
  return true;
}
bool x11Session(SessionKind kind) {
  return kind == SessionKind::X11;
}
bool waylandSession(SessionKind kind) {
  return kind == SessionKind::Wayland;
}

const Candidate<platform::IdleMonitor> kIdleCandidates[] = {
    {"mutter", anySession,
     [](QString* whyNot) { return platform::createMutterIdleMonitor(QDBusConnection::sessionBus(), whyNot); }},
    // The compositor tells of idleness itself (sway, Plasma 6, Hyprland); the
    // sources below have to be asked.
    {"wayland", waylandSession, [](QString* whyNot) { return platform::createWaylandIdleMonitor(whyNot); }},
    {"x11", x11Session, [](QString* whyNot) { return platform::createX11IdleMonitor(whyNot); }},
    {"screensaver", anySession,
     [](QString* whyNot) { return platform::createScreenSaverIdleMonitor(QDBusConnection::sessionBus(), whyNot); }},
};

const Candidate<platform::SessionLockMonitor> kLockCandidates[] = {
    {"logind", anySession,
     [](QString* whyNot) { return platform::createLogindLockMonitor(QDBusConnection::systemBus(), whyNot); }},
    {"screensaver", anySession,
     [](QString* whyNot) {
       return platform::createScreenSaverLockMonitor(QDBusConnection::sessionBus(),
                                                     platform::ScreenSaverService::Freedesktop, whyNot);
     }},
    {"gnome-screensaver", anySession,
     [](QString* whyNot) {
       return platform::createScreenSaverLockMonitor(QDBusConnection::sessionBus(), platform::ScreenSaverService::Gnome,
                                                     whyNot);
     }},
};

// The first candidate that answers, its name, and why the others did not.
template <typename Monitor, std::size_t N>
std::unique_ptr<Monitor> first(const Candidate<Monitor> (&candidates)[N], SessionKind kind, QString* backend,
                               QString* whyNone) {
  QStringList reasons;
  for (const Candidate<Monitor>& candidate : candidates) {
    if (!candidate.fits(kind)) continue;
    QString whyNot;
    if (std::unique_ptr<Monitor> monitor = candidate.create(&whyNot)) {
      *backend = QString::fromLatin1(candidate.backend);
      return monitor;
    }
    reasons << whyNot;
  }
  *whyNone = reasons.join(QStringLiteral("; "));
  return nullptr;
}

}  // namespace

IdleSources chooseIdleSources(SessionKind kind) {
  IdleSources sources;
  sources.idle = first(kIdleCandidates, kind, &sources.idleBackend, &sources.whyNoIdle);
  sources.lock = first(kLockCandidates, kind, &sources.lockBackend, &sources.whyNoLock);
  return sources;
}

}  // namespace ostrel
