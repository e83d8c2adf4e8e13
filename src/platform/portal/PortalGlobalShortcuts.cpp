#include "platform/portal/PortalGlobalShortcuts.h"

#include "common/DesktopServices.h"
#include "common/Log.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalShortcut.h"
#include "platform/portal/TriggerDescription.h"
#include "platform/portal/XdgTrigger.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <algorithm>
#include <optional>

namespace ostrel::platform::portal {
namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

QString describeAssignments(const QList<ShortcutAssignment>& assignments) {
  QStringList parts;
  for (const ShortcutAssignment& a : assignments) {
    parts << QStringLiteral("%1 = %2").arg(a.id, a.assigned.isEmpty() ? QStringLiteral("no key") : a.assigned);
  }
  return parts.join(QStringLiteral(", "));
}

QString differing(const QList<ShortcutAssignment>& assignments) {
  QStringList ids;
  for (const ShortcutAssignment& a : assignments) {
    if (!a.matchesPreferred()) ids << a.id;
  }
  return ids.join(QStringLiteral(", "));
}

}  // namespace

PortalGlobalShortcuts::PortalGlobalShortcuts(const QDBusConnection& bus, std::uint32_t version)
    : bus_(bus), version_(version) {
  registerPortalShortcutTypes();
  DesktopServices::shared().setState(
      DesktopService::Shortcuts,
      {QStringLiteral("portal"), QStringLiteral("GlobalShortcuts portal (version %1): not asked yet").arg(version_)});
  bus_.connect(kPortalService, kPortalPath, kInterface, QStringLiteral("Activated"), this,
               SLOT(onActivated(QDBusMessage)));
  bus_.connect(kPortalService, kPortalPath, kInterface, QStringLiteral("Deactivated"), this,
               SLOT(onDeactivated(QDBusMessage)));
  bus_.connect(kPortalService, kPortalPath, kInterface, QStringLiteral("ShortcutsChanged"), this,
               SLOT(onShortcutsChanged(QDBusMessage)));
}

PortalGlobalShortcuts::~PortalGlobalShortcuts() {
  stop();
}

bool PortalGlobalShortcuts::start(Handler handler, QString* whyNot) {
  (void)whyNot;  // the portal was found when this backend was made
  handler_ = std::move(handler);
  started_ = true;
  if (!asked_ && !busy_) bind();
  return true;
}

void PortalGlobalShortcuts::stop() {
  if (!started_) return;
  started_ = false;
  asked_ = false;  // a later start asks again
  busy_ = false;
  changedWhileBusy_ = false;
  waiting_ = false;
  DesktopServices::shared().setAwaitingConfirmation(DesktopService::Shortcuts, false);
  handler_ = {};
  ++generation_;
  closeSession();
}

void PortalGlobalShortcuts::watchShortcuts(const std::vector<WatchedShortcut>& shortcuts) {
  std::vector<Bound> wanted;
  for (const WatchedShortcut& s : shortcuts) {
    // A shortcut without a modifier or on a key without a name is inactive:
    // it is not offered to the desktop at all.
    const QString preferred = xdgTrigger(s.virtualKeyCode, s.modifierFlags);
    if (!preferred.isEmpty()) wanted.push_back({s, preferred});
  }
  const auto same = [](const Bound& a, const Bound& b) { return a.shortcut == b.shortcut; };
  if (std::equal(wanted.begin(), wanted.end(), watched_.begin(), watched_.end(), same)) return;
  watched_ = std::move(wanted);
  asked_ = false;
  if (!started_) return;
  if (busy_) {
    // A new question now would stand beside the one the desktop is asking
    // (GNOME keeps its first dialog open even when the session closes).
    changedWhileBusy_ = true;
    log("Ostrel's shortcuts changed while the desktop is still asking about the previous ones; the new ones are "
        "proposed once it has answered");
    return;
  }
  bind();
}

QVariant PortalGlobalShortcuts::portalList() const {
  PortalShortcutList list;
  for (const Bound& b : sent_) {
    list << PortalShortcut{
        b.shortcut.id,
        {{QStringLiteral("description"), b.shortcut.description}, {QStringLiteral("preferred_trigger"), b.preferred}}};
  }
  return QVariant::fromValue(list);
}

void PortalGlobalShortcuts::bind() {
  const std::uint64_t generation = ++generation_;
  asked_ = true;
  changedWhileBusy_ = false;
  sent_ = watched_;
  busy_ = !sent_.empty();
  active_.clear();
  DesktopServices& services = DesktopServices::shared();
  QList<ShortcutAssignment> proposed;
  for (const Bound& b : sent_) proposed << ShortcutAssignment{b.shortcut.id, b.preferred, QString()};
  if (sent_.empty()) {
    closeSession();
    services.setBinding(ShortcutBinding::NotAsked);
    services.setState(DesktopService::Shortcuts,
                      {QStringLiteral("portal"), QStringLiteral("GlobalShortcuts portal: no shortcut recorded yet")});
    return;
  }
  services.setBinding(ShortcutBinding::Asking, proposed);
  services.setState(DesktopService::Shortcuts,
                    {QStringLiteral("portal"),
                     QStringLiteral("GlobalShortcuts portal (version %1): asking the desktop").arg(version_)});
  if (session_.isEmpty()) {
    createSession(generation);
    return;
  }
  // The new session reuses the token, so the old one must be gone first.
  const QDBusMessage close = closeSessionCall(session_);
  session_.clear();
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(close), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    if (generation == generation_) createSession(generation);
  });
}

void PortalGlobalShortcuts::createSession(std::uint64_t generation) {
  const QVariantMap options{{QStringLiteral("session_handle_token"), kSessionToken},
                            {QStringLiteral("shortcuts"), portalList()}};
  PortalRequest::start(bus_, kInterface, QStringLiteral("CreateSession"), {}, options, this,
                       [this, generation](const PortalAnswer& answer) {
                         const QString handle = sessionHandle(answer.results.value(QStringLiteral("session_handle")));
                         if (generation != generation_) {
                           // Superseded while the desktop answered: nobody wants this session.
                           if (answer.done() && !handle.isEmpty()) {
                             bus_.asyncCall(closeSessionCall(handle));
                           }
                           return;
                         }
                         if (!answer.done() || handle.isEmpty()) {
                           refused("CreateSession", answer, answer.code == PortalAnswer::kDeclined);
                           return;
                         }
                         session_ = handle;
                         bindShortcuts(generation);
                       });
}

void PortalGlobalShortcuts::bindShortcuts(std::uint64_t generation) {
  const QVariantList arguments{QVariant::fromValue(QDBusObjectPath(session_)), portalList(), QString()};
  PortalRequest::start(
      bus_, kInterface, QStringLiteral("BindShortcuts"), arguments, {}, this,
      [this, generation](const PortalAnswer& answer) {
        if (generation != generation_) return;
        if (!answer.error.isEmpty() || answer.code == PortalAnswer::kDeclined) {
          refused("BindShortcuts", answer, answer.error.isEmpty());
          return;
        }
        const QVariant listed = answer.results.value(QStringLiteral("shortcuts"));
        // xdg-desktop-portal-gnome 48.0 never sets the response on success:
        // it answers 2 with the bound shortcuts in the results.
        const bool showsBinding = answer.done() || listsOurs(listed);
        listShortcuts(generation, listed, showsBinding ? nullptr : &answer);
      },
      [this, generation] { confirmationShown(generation); });
}

void PortalGlobalShortcuts::confirmationShown(std::uint64_t generation) {
  if (generation != generation_ || waiting_) return;
  waiting_ = true;
  DesktopServices& services = DesktopServices::shared();
  services.setAwaitingConfirmation(DesktopService::Shortcuts, true);
  services.setState(DesktopService::Shortcuts,
                    {QStringLiteral("portal"),
                     QStringLiteral("GlobalShortcuts portal (version %1): waiting for the desktop's confirmation")
                         .arg(version_)});
  log("The desktop asks the user to add Ostrel's global shortcuts; waiting for the desktop's confirmation");
}

void PortalGlobalShortcuts::listShortcuts(std::uint64_t generation, const QVariant& fromBind,
                                          const PortalAnswer* unbound) {
  // What the desktop holds now; the bind's own answer stands in when the
  // list cannot be had.
  const std::optional<PortalAnswer> bindAnswer =
      unbound ? std::optional<PortalAnswer>(*unbound) : std::optional<PortalAnswer>();
  PortalRequest::start(
      bus_, kInterface, QStringLiteral("ListShortcuts"), {QVariant::fromValue(QDBusObjectPath(session_))}, {}, this,
      [this, generation, fromBind, bindAnswer](const PortalAnswer& answer) {
        if (generation != generation_) return;
        const QVariant listed = answer.done() ? answer.results.value(QStringLiteral("shortcuts")) : fromBind;
        if (bindAnswer && !listsOurs(listed)) {
          // Nothing bound. After a dialog that is the user's Cancel (GNOME
          // 48 answers it with 2 and nothing else); without one, a failure.
          refused("BindShortcuts", *bindAnswer, waiting_);
          return;
        }
        bound(assignmentsFrom(listed));
      });
}

void PortalGlobalShortcuts::bound(const QList<ShortcutAssignment>& assignments) {
  DesktopServices& services = DesktopServices::shared();
  services.setBinding(ShortcutBinding::Bound, assignments);
  services.setState(DesktopService::Shortcuts,
                    {QStringLiteral("portal"),
                     QStringLiteral("GlobalShortcuts portal (version %1): the desktop assigned the keys").arg(version_)});
  const QString differ = differing(assignments);
  if (differ.isEmpty()) {
    log("The desktop bound Ostrel's global shortcuts: %@", describeAssignments(assignments));
  } else {
    log("The desktop bound Ostrel's global shortcuts: %@ (%@ not as recorded: change them in the desktop's "
        "keyboard settings)",
        describeAssignments(assignments), differ);
  }
  answered();
}

void PortalGlobalShortcuts::refused(const char* step, const PortalAnswer& answer, bool declined) {
  closeSession();
  DesktopServices& services = DesktopServices::shared();
  const QString why = !answer.error.isEmpty() ? answer.error : QStringLiteral("response %1").arg(answer.code);
  services.setBinding(declined ? ShortcutBinding::Declined : ShortcutBinding::Failed);
  services.setState(
      DesktopService::Shortcuts,
      {QStringLiteral("portal"),
       declined ? QStringLiteral("GlobalShortcuts portal (version %1): the desktop declined; asked again when the "
                                 "shortcuts change or Ostrel restarts")
                      .arg(version_)
                : QStringLiteral("GlobalShortcuts portal (version %1): %2 failed (%3); asked again when the shortcuts "
                                 "change or Ostrel restarts")
                      .arg(version_)
                      .arg(QLatin1String(step), why)});
  if (declined) {
    log("The desktop declined Ostrel's global shortcuts; Ostrel asks again when they change or at its next start");
  } else {
    log("The desktop could not bind Ostrel's global shortcuts (%s: %@); Ostrel asks again when they change or at "
        "its next start",
        step, why);
  }
  answered();
}

void PortalGlobalShortcuts::answered() {
  busy_ = false;
  waiting_ = false;
  DesktopServices::shared().setAwaitingConfirmation(DesktopService::Shortcuts, false);
  if (changedWhileBusy_ && started_) bind();
}

void PortalGlobalShortcuts::closeSession() {
  active_.clear();
  if (session_.isEmpty()) return;
  bus_.asyncCall(closeSessionCall(session_));
  session_.clear();
}

QList<ShortcutAssignment> PortalGlobalShortcuts::assignmentsFrom(const QVariant& shortcuts) const {
  const PortalShortcutList listed = portalShortcutsFrom(shortcuts);
  QList<ShortcutAssignment> out;
  for (const Bound& b : sent_) {
    ShortcutAssignment a{b.shortcut.id, b.preferred, QString()};
    for (const PortalShortcut& s : listed) {
      if (s.id == b.shortcut.id) {
        a.assigned = readableTrigger(s.properties.value(QStringLiteral("trigger_description")).toString());
      }
    }
    out << a;
  }
  return out;
}

bool PortalGlobalShortcuts::listsOurs(const QVariant& shortcuts) const {
  for (const PortalShortcut& s : portalShortcutsFrom(shortcuts)) {
    for (const Bound& b : sent_) {
      if (s.id == b.shortcut.id) return true;
    }
  }
  return false;
}

bool PortalGlobalShortcuts::ours(const QDBusMessage& message) const {
  const QVariantList args = message.arguments();
  return !session_.isEmpty() && args.size() >= 2 && sessionHandle(args.at(0)) == session_;
}

void PortalGlobalShortcuts::onActivated(const QDBusMessage& message) {
  if (!started_ || !handler_ || !ours(message)) return;
  const QString id = message.arguments().at(1).toString();
  // A held key repeats Activated; the press counts once.
  if (active_.contains(id)) return;
  for (const Bound& b : watched_) {
    if (b.shortcut.id != id) continue;
    active_.insert(id);
    handler_(KeyPress{b.shortcut.virtualKeyCode, b.shortcut.modifierFlags, true});
    return;
  }
}

void PortalGlobalShortcuts::onDeactivated(const QDBusMessage& message) {
  if (!ours(message)) return;
  active_.remove(message.arguments().at(1).toString());
}

void PortalGlobalShortcuts::onShortcutsChanged(const QDBusMessage& message) {
  // While binding, the desktop's own answer follows with the same list.
  if (busy_ || !ours(message)) return;
  const QList<ShortcutAssignment> assignments = assignmentsFrom(message.arguments().at(1));
  DesktopServices& services = DesktopServices::shared();
  if (services.binding() == ShortcutBinding::Bound && services.assignments() == assignments) return;
  services.setBinding(ShortcutBinding::Bound, assignments);
  services.noteShortcutsChangedByDesktop();
  log("The desktop's keyboard settings changed Ostrel's global shortcuts: %@", describeAssignments(assignments));
}

}  // namespace ostrel::platform::portal
