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
//  - A desktop that puts the question before the user (GNOME's "Add Keyboard
//    Shortcuts" dialog, on the first bind) leaves the request unanswered:
//    after a moment Ostrel says once that it is waiting for the desktop's
//    confirmation, and asks nothing more until the answer. Shortcuts changed
//    in the meantime are proposed once the desktop has answered, so no second
//    dialog ever stands over the first.
//  - The desktop's answer counts by what it bound, not only by its response
//    code (xdg-desktop-portal-gnome 48.0 answers a successful bind with 2):
//    a bind whose results or ListShortcuts show Ostrel's shortcuts is a bind.
//  - A refusal (response 1), or a bind that bound nothing after the desktop
//    asked the user (GNOME answers a Cancel with 2 and no shortcuts), is a
//    decline; anything else a failure. Either is logged once; Ostrel asks
//    again only when the list changes or it restarts.
//  - Activated runs the shortcut once per press: a held key repeats Activated
//    until Deactivated, and the repeats are dropped.
//  - ShortcutsChanged (the user re-assigned a key in the desktop's settings)
//    is logged and updates DesktopServices; the one a desktop sends while
//    binding (GNOME does) is part of the bind's answer, not a change.
//  - Keys are shown as Ostrel spells them ("Ctrl+Alt+R"), whatever form the
//    desktop reported them in (TriggerDescription.h).
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
  void confirmationShown(std::uint64_t generation);
  // `unbound`: the bind's answer when it showed no shortcut of Ostrel's.
  void listShortcuts(std::uint64_t generation, const QVariant& fromBind, const PortalAnswer* unbound);
  void bound(const QList<ShortcutAssignment>& assignments);
  void refused(const char* step, const PortalAnswer& answer, bool declined);
  void answered();
  void closeSession();
  QList<ShortcutAssignment> assignmentsFrom(const QVariant& shortcuts) const;
  bool listsOurs(const QVariant& shortcuts) const;
  QVariant portalList() const;
  bool ours(const QDBusMessage& message) const;

  QDBusConnection bus_;
  std::uint32_t version_;
  Handler handler_;
  bool started_ = false;
  std::vector<Bound> watched_;
  std::vector<Bound> sent_;  // what the session was asked to bind
  bool asked_ = false;       // the desktop has been asked for watched_ (whatever it answered)
  bool busy_ = false;        // a question is out and not answered yet
  bool waiting_ = false;     // ...and the desktop put it before the user
  bool changedWhileBusy_ = false;
  std::uint64_t generation_ = 0;
  QString session_;
  QSet<QString> active_;  // activated and not yet deactivated
};

}  // namespace ostrel::platform::portal
