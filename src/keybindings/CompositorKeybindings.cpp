#include "keybindings/CompositorKeybindings.h"

#include "keybindings/DesktopKeyNames.h"

namespace ostrel {
namespace {

KeySyntax syntaxOf(Compositor compositor) {
  switch (compositor) {
    case Compositor::Sway:
      return KeySyntax::Sway;
    case Compositor::Hyprland:
      return KeySyntax::Hyprland;
    case Compositor::I3:
      return KeySyntax::I3;
  }
  return KeySyntax::Sway;
}

QString line(Compositor compositor, const QString& keys, const QString& command) {
  switch (compositor) {
    case Compositor::Sway:
      return QStringLiteral("bindsym %1 exec %2\n").arg(keys, command);
    case Compositor::I3:
      // Without it i3 shows a busy cursor until the command opens a window,
      // which ostrelctl never does.
      return QStringLiteral("bindsym %1 exec --no-startup-id %2\n").arg(keys, command);
    case Compositor::Hyprland:
      return QStringLiteral("bind = %1, exec, %2\n").arg(keys, command);
  }
  return QString();
}

}  // namespace

QString compositorName(Compositor compositor) {
  switch (compositor) {
    case Compositor::Sway:
      return QStringLiteral("sway");
    case Compositor::Hyprland:
      return QStringLiteral("hyprland");
    case Compositor::I3:
      return QStringLiteral("i3");
  }
  return QString();
}

std::optional<Compositor> compositorNamed(const QString& name) {
  for (Compositor c : kCompositors) {
    if (name.compare(compositorName(c), Qt::CaseInsensitive) == 0) return c;
  }
  return std::nullopt;
}

QString compositorTitle(Compositor compositor) {
  return compositor == Compositor::Hyprland ? QStringLiteral("Hyprland") : compositorName(compositor);
}

QString compositorConfigurationFile(Compositor compositor) {
  switch (compositor) {
    case Compositor::Sway:
      return QStringLiteral("~/.config/sway/config");
    case Compositor::Hyprland:
      return QStringLiteral("~/.config/hypr/hyprland.conf");
    case Compositor::I3:
      return QStringLiteral("~/.config/i3/config");
  }
  return QString();
}

std::optional<Compositor> sessionCompositor() {
  for (const QString& desktop : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'))) {
    if (const auto c = compositorNamed(desktop.trimmed())) return c;
  }
  if (!qEnvironmentVariableIsEmpty("SWAYSOCK")) return Compositor::Sway;
  if (!qEnvironmentVariableIsEmpty("HYPRLAND_INSTANCE_SIGNATURE")) return Compositor::Hyprland;
  if (!qEnvironmentVariableIsEmpty("I3SOCK")) return Compositor::I3;
  return std::nullopt;
}

QString compositorKeybindings(Compositor compositor, const RecordedShortcuts& shortcuts, const QString& ostrelctl) {
  QString out;
  for (const RecordedShortcut& s : shortcuts) {
    const QString keys = keysIn(syntaxOf(compositor), s.keyCode, s.modifierFlags);
    if (keys.isEmpty()) continue;
    out += line(compositor, keys, ostrelctlCommand(ostrelctl, s.action));
  }
  return out;
}

std::vector<KeybindingAction> missingKeyNames(Compositor compositor, const RecordedShortcuts& shortcuts) {
  std::vector<KeybindingAction> missing;
  for (const RecordedShortcut& s : shortcuts) {
    if (keysIn(syntaxOf(compositor), s.keyCode, s.modifierFlags).isEmpty()) missing.push_back(s.action);
  }
  return missing;
}

}  // namespace ostrel
