#pragma once
// Global shortcuts through the GlobalShortcuts portal (Wayland sessions).
//
// Ostrel proposes, the desktop decides: each watched shortcut is bound with
// its description and a preferred trigger made from its key code and flags,
// and the desktop (or the user, in its keyboard settings) picks the key.
// DesktopServices then shows what the desktop assigned, not what was recorded.
//
//  - One stable session token ("ostrel"): desktops that name their record of
//    Ostrel's shortcuts after it (KDE, for an application without app id) keep
//    the keys they assigned across sessions and restarts.
//  - A session binds once, so a changed list closes the session and opens a new
//    one. KDE 5.27 registers only what CreateSession's own "shortcuts" option
//    lists, so the list goes into CreateSession and BindShortcuts alike.
//  - A refusal (response 1) or failure (2) is logged once; Ostrel asks again
//    only when the list changes or it restarts.
//  - Activated runs the shortcut once per press: a held key repeats Activated
//    until Deactivated, and the repeats are dropped.
//  - ShortcutsChanged (the user re-assigned a key in the desktop's settings)
//    is logged and updates DesktopServices.
//
// Main thread only.

#include "platform/GlobalKeyMonitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <QString>
#include <cstdint>
#include <vector>

namespace ostrel {
struct ShortcutAssignment;
}

namespace ostrel::platform::portal {

struct PortalAnswer;

class PortalGlobalShortcuts final : public QObject, public GlobalKeyMonitor {
  Q_OBJECT

 public:
  // `version`: the portal interface's version, as the portal reported it.
  PortalGlobalShortcuts(const QDBusConnection& bus, std::uint32_t version);
  ~PortalGlobalShortcuts() override;

  bool start(Handler handler, QString* whyNot) override;
  void stop() override;
  void watchShortcuts(const std::vector<WatchedShortcut>& shortcuts) override;

  static inline const QString kSessionToken = QStringLiteral("ostrel");

 private Q_SLOTS:
  void onActivated(const QDBusMessage& message);
  void onDeactivated(const QDBusMessage& message);
  void onShortcutsChanged(const QDBusMessage& message);

 private:
  struct Bound {
    WatchedShortcut shortcut;
    QString preferred;  // the XDG trigger proposed for it
  };

  void bind();
  void createSession(std::uint64_t generation);
  void bindShortcuts(std::uint64_t generation);
  void listShortcuts(std::uint64_t generation, const QVariant& fromBind);
  void refused(const char* step, const PortalAnswer& answer);
  void closeSession();
  QList<ShortcutAssignment> assignmentsFrom(const QVariant& shortcuts) const;
  QVariant portalList() const;
  bool ours(const QDBusMessage& message) const;

  QDBusConnection bus_;
  std::uint32_t version_;
  Handler handler_;
  bool started_ = false;
  std::vector<Bound> watched_;
  bool asked_ = false;  // the desktop has been asked for watched_ (whatever it answered)
  std::uint64_t generation_ = 0;
  QString session_;
  QSet<QString> active_;  // activated and not yet deactivated
};

}  // namespace ostrel::platform::portal
