#include "common/DesktopServices.h"

#include "common/NotificationCenter.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <optional>
#include <utility>

namespace ostrel {

const QString DesktopServicesDidChangeNotification = QStringLiteral("OstrelDesktopServicesDidChangeNotification");
const QString ShortcutValuesDidChangeNotification = QStringLiteral("OstrelShortcutValuesDidChangeNotification");
const QString DesktopShortcutRefresh = QStringLiteral("refresh");
const QString DesktopShortcutContrastUp = QStringLiteral("contrast-up");
const QString DesktopShortcutContrastDown = QStringLiteral("contrast-down");

namespace {

// Desktops spell modifiers and keys their own way (KDE writes what Qt's key
// sequences print, the XDG form uses xkb key names); one spelling per meaning.
QString canonicalToken(const QString& token) {
  static const QHash<QString, QString> aliases = {
      {QStringLiteral("CONTROL"), QStringLiteral("CTRL")},
      {QStringLiteral("META"), QStringLiteral("LOGO")},
      {QStringLiteral("SUPER"), QStringLiteral("LOGO")},
      {QStringLiteral("WIN"), QStringLiteral("LOGO")},
      {QStringLiteral("OPTION"), QStringLiteral("ALT")},
      {QStringLiteral("PGDOWN"), QStringLiteral("NEXT")},
      {QStringLiteral("PAGE_DOWN"), QStringLiteral("NEXT")},
      {QStringLiteral("PGUP"), QStringLiteral("PRIOR")},
      {QStringLiteral("PAGE_UP"), QStringLiteral("PRIOR")},
      {QStringLiteral("ENTER"), QStringLiteral("RETURN")},
      {QStringLiteral("ESC"), QStringLiteral("ESCAPE")},
      {QStringLiteral("DEL"), QStringLiteral("DELETE")},
      {QStringLiteral("BACKSPACE"), QStringLiteral("BACKSPACE")},
      {QStringLiteral("-"), QStringLiteral("MINUS")},
      {QStringLiteral("="), QStringLiteral("EQUAL")},
      {QStringLiteral("["), QStringLiteral("BRACKETLEFT")},
      {QStringLiteral("]"), QStringLiteral("BRACKETRIGHT")},
      {QStringLiteral(";"), QStringLiteral("SEMICOLON")},
      {QStringLiteral("'"), QStringLiteral("APOSTROPHE")},
      {QStringLiteral(","), QStringLiteral("COMMA")},
      {QStringLiteral("."), QStringLiteral("PERIOD")},
      {QStringLiteral("/"), QStringLiteral("SLASH")},
      {QStringLiteral("\\"), QStringLiteral("BACKSLASH")},
      {QStringLiteral("`"), QStringLiteral("GRAVE")},
      {QStringLiteral("+"), QStringLiteral("PLUS")},
  };
  const QString upper = token.trimmed().toUpper();
  return aliases.value(upper, upper);
}

// The modifiers as a set and the key, or nothing for an empty text.
std::optional<std::pair<QSet<QString>, QString>> parseTrigger(const QString& text) {
  QString rest = text.trimmed();
  if (rest.isEmpty()) return std::nullopt;
  QString key;
  // "Ctrl++" is Control with the plus key.
  if (rest.endsWith(QLatin1String("++")) || rest == QLatin1String("+")) {
    key = QStringLiteral("+");
    rest.chop(rest == QLatin1String("+") ? 1 : 2);
  } else {
    const qsizetype cut = rest.lastIndexOf(QLatin1Char('+'));
    key = rest.mid(cut + 1);
    rest = cut < 0 ? QString() : rest.left(cut);
  }
  QSet<QString> modifiers;
  for (const QString& m : rest.split(QLatin1Char('+'), Qt::SkipEmptyParts)) modifiers.insert(canonicalToken(m));
  return std::make_pair(modifiers, canonicalToken(key));
}

}  // namespace

bool ShortcutAssignment::matchesPreferred() const {
  const auto a = parseTrigger(preferred);
  const auto b = parseTrigger(assigned);
  return a && b && *a == *b;
}

QString shortcutBindingName(ShortcutBinding binding) {
  switch (binding) {
    case ShortcutBinding::NotAsked:
      return QString();
    case ShortcutBinding::Asking:
      return QStringLiteral("asking");
    case ShortcutBinding::Bound:
      return QStringLiteral("bound");
    case ShortcutBinding::Declined:
      return QStringLiteral("declined");
    case ShortcutBinding::Failed:
      return QStringLiteral("failed");
  }
  return QString();
}

DesktopServices& DesktopServices::shared() {
  static DesktopServices* const services = new DesktopServices();
  return *services;
}

ServiceState DesktopServices::state(DesktopService service) const {
  return service == DesktopService::Shortcuts ? shortcuts_ : input_;
}

void DesktopServices::setState(DesktopService service, const ServiceState& state) {
  ServiceState& held = service == DesktopService::Shortcuts ? shortcuts_ : input_;
  if (held == state) return;
  held = state;
  changed();
}

bool DesktopServices::awaitingConfirmation(DesktopService service) const {
  return service == DesktopService::Shortcuts ? shortcutsAwaiting_ : inputAwaiting_;
}

void DesktopServices::setAwaitingConfirmation(DesktopService service, bool waiting) {
  bool& held = service == DesktopService::Shortcuts ? shortcutsAwaiting_ : inputAwaiting_;
  if (held == waiting) return;
  held = waiting;
  changed();
}

void DesktopServices::setBinding(ShortcutBinding binding, const QList<ShortcutAssignment>& assignments) {
  if (binding_ == binding && assignments_ == assignments) return;
  binding_ = binding;
  assignments_ = assignments;
  changed();
}

ShortcutAssignment DesktopServices::assignment(const QString& id) const {
  for (const ShortcutAssignment& a : assignments_) {
    if (a.id == id) return a;
  }
  return {};
}

void DesktopServices::setOwnKeybindings(const QString& name) {
  if (ownKeybindings_ == name) return;
  ownKeybindings_ = name;
  changed();
}

void DesktopServices::noteShortcutsChangedByDesktop() {
  ++changedByDesktop_;
  changed();
}

QVariantMap DesktopServices::properties() const {
  QStringList ids;
  QStringList preferred;
  QStringList assigned;
  for (const ShortcutAssignment& a : assignments_) {
    ids << a.id;
    preferred << a.preferred;
    assigned << a.assigned;
  }
  return {
      {QStringLiteral("ShortcutsBackend"), shortcuts_.backend},
      {QStringLiteral("ShortcutsDetail"), shortcuts_.detail},
      {QStringLiteral("ShortcutsBinding"), shortcutBindingName(binding_)},
      {QStringLiteral("ShortcutIds"), ids},
      {QStringLiteral("ShortcutsPreferred"), preferred},
      {QStringLiteral("ShortcutsAssigned"), assigned},
      {QStringLiteral("ShortcutsChangedByDesktop"), changedByDesktop_},
      {QStringLiteral("ShortcutsAwaitingConfirmation"), shortcutsAwaiting_},
      {QStringLiteral("InputBackend"), input_.backend},
      {QStringLiteral("InputDetail"), input_.detail},
      {QStringLiteral("OwnKeybindings"), ownKeybindings_},
      {QStringLiteral("InputAwaitingConfirmation"), inputAwaiting_},
  };
}

void DesktopServices::reset() {
  *this = DesktopServices();
  changed();
}

void DesktopServices::changed() {
  NotificationCenter::defaultCenter().post({DesktopServicesDidChangeNotification, this, {}});
}

}  // namespace ostrel
