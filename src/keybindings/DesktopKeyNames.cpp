#include "keybindings/DesktopKeyNames.h"

#include "platform/KeyCodes.h"
#include "platform/XkbKeyNames.h"

#include <QRegularExpression>
#include <array>

namespace ostrel {
namespace {

struct ModifierNames {
  std::uint32_t flag;
  const char* gnome;
  const char* sway;
  const char* i3;
  const char* hyprland;
  const char* xdg;
  const char* readable;
};

// In the order every syntax writes them.
constexpr std::array<ModifierNames, 4> kModifiers = {{
    {keys::kControl, "<Control>", "Ctrl", "Control", "CTRL", "CTRL", "Ctrl"},
    {keys::kOption, "<Alt>", "Alt", "Mod1", "ALT", "ALT", "Alt"},
    {keys::kShift, "<Shift>", "Shift", "Shift", "SHIFT", "SHIFT", "Shift"},
    {keys::kCommand, "<Super>", "Mod4", "Mod4", "SUPER", "LOGO", "Super"},
}};

const char* modifierName(const ModifierNames& m, KeySyntax syntax) {
  switch (syntax) {
    case KeySyntax::Gnome:
      return m.gnome;
    case KeySyntax::Sway:
      return m.sway;
    case KeySyntax::I3:
      return m.i3;
    case KeySyntax::Hyprland:
      return m.hyprland;
    case KeySyntax::Xdg:
      return m.xdg;
    case KeySyntax::Readable:
      return m.readable;
  }
  return "";
}

bool isLetter(const QString& key) {
  return key.size() == 1 && key[0].isLetter();
}

// A key name as a person reads it: letters upper case, the rest as named.
QString readableKey(const QString& key) {
  return isLetter(key) ? key.toUpper() : key;
}

// GTK's spellings of the four modifiers (gtk_accelerator_parse).
std::optional<std::uint32_t> gnomeModifier(const QString& lower) {
  if (lower == QLatin1String("control") || lower == QLatin1String("ctrl") || lower == QLatin1String("ctl") ||
      lower == QLatin1String("primary"))
    return keys::kControl;
  if (lower == QLatin1String("alt") || lower == QLatin1String("mod1")) return keys::kOption;
  if (lower == QLatin1String("shift") || lower == QLatin1String("shft")) return keys::kShift;
  if (lower == QLatin1String("super") || lower == QLatin1String("mod4")) return keys::kCommand;
  return std::nullopt;
}

std::optional<std::uint16_t> keyCodeNamed(const QString& key) {
  for (const platform::KeyName& k : platform::kKeyNames) {
    if (key.compare(QLatin1String(k.name), isLetter(key) ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0) {
      return k.virtualKeyCode;
    }
  }
  return std::nullopt;
}

}  // namespace

QString keysIn(KeySyntax syntax, std::uint16_t keyCode, std::uint32_t modifierFlags) {
  const char* name = platform::xkbKeyName(keyCode);
  if (!name || (modifierFlags & keys::kShortcutModifierMask) == 0) return QString();
  QString key = QLatin1String(name);
  if ((syntax == KeySyntax::Gnome || syntax == KeySyntax::Sway || syntax == KeySyntax::I3) && isLetter(key)) {
    key = key.toLower();
  }
  QStringList modifiers;
  for (const ModifierNames& m : kModifiers) {
    if (modifierFlags & m.flag) modifiers << QLatin1String(modifierName(m, syntax));
  }
  switch (syntax) {
    case KeySyntax::Gnome:
      return modifiers.join(QString()) + key;
    case KeySyntax::Hyprland:
      return modifiers.join(QLatin1Char(' ')) + QStringLiteral(", ") + key;
    default:
      return (modifiers << key).join(QLatin1Char('+'));
  }
}

bool GnomeAccelerator::sameKeysAs(const GnomeAccelerator& other) const {
  if (modifierFlags != other.modifierFlags || otherModifiers != other.otherModifiers) return false;
  if (keyCode && other.keyCode) return *keyCode == *other.keyCode;
  return key.compare(other.key, isLetter(key) ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0;
}

std::optional<GnomeAccelerator> parseGnomeAccelerator(const QString& binding) {
  static const QRegularExpression shape(QStringLiteral("^((?:<[A-Za-z0-9_]+>)*)([A-Za-z0-9_]+)$"));
  const QString text = binding.trimmed();
  if (text.isEmpty() || text == QLatin1String("disabled")) return std::nullopt;
  const QRegularExpressionMatch match = shape.match(text);
  if (!match.hasMatch()) return std::nullopt;
  GnomeAccelerator parsed;
  static const QRegularExpression modifier(QStringLiteral("<([A-Za-z0-9_]+)>"));
  for (auto it = modifier.globalMatch(match.captured(1)); it.hasNext();) {
    const QString lower = it.next().captured(1).toLower();
    if (lower == QLatin1String("release")) continue;  // when, not which keys
    if (const auto flag = gnomeModifier(lower)) {
      parsed.modifierFlags |= *flag;
    } else if (!parsed.otherModifiers.contains(lower)) {
      parsed.otherModifiers << lower;
    }
  }
  parsed.otherModifiers.sort();
  parsed.key = match.captured(2);
  parsed.keyCode = keyCodeNamed(parsed.key);
  return parsed;
}

QString readableGnomeAccelerator(const QString& binding) {
  const std::optional<GnomeAccelerator> parsed = parseGnomeAccelerator(binding);
  if (!parsed) return binding.trimmed() == QLatin1String("disabled") ? QString() : binding.trimmed();
  QStringList parts;
  for (const ModifierNames& m : kModifiers) {
    if (parsed->modifierFlags & m.flag) parts << QLatin1String(m.readable);
  }
  for (const QString& other : parsed->otherModifiers) parts << other.left(1).toUpper() + other.mid(1);
  parts << readableKey(parsed->key);
  return parts.join(QLatin1Char('+'));
}

}  // namespace ostrel
