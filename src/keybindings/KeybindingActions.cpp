#include "keybindings/KeybindingActions.h"

#include "common/DesktopServices.h"
#include "platform/KeyCodes.h"
#include "settings/ProgramValues.h"

#include <QRegularExpression>

namespace ostrel {

QString keybindingActionId(KeybindingAction action) {
  switch (action) {
    case KeybindingAction::Refresh:
      return DesktopShortcutRefresh;
    case KeybindingAction::ContrastUp:
      return DesktopShortcutContrastUp;
    case KeybindingAction::ContrastDown:
      return DesktopShortcutContrastDown;
  }
  return QString();
}

QStringList ostrelctlArguments(KeybindingAction action) {
  switch (action) {
    case KeybindingAction::Refresh:
      return {QStringLiteral("refresh")};
    case KeybindingAction::ContrastUp:
      return {QStringLiteral("contrast"), QStringLiteral("up")};
    case KeybindingAction::ContrastDown:
      return {QStringLiteral("contrast"), QStringLiteral("down")};
  }
  return {};
}

QString keybindingActionName(KeybindingAction action, bool english) {
  switch (action) {
    case KeybindingAction::Refresh:
      return english ? QStringLiteral("Fast Refresh") : QStringLiteral("快速刷新");
    case KeybindingAction::ContrastUp:
      return english ? QStringLiteral("Contrast Up") : QStringLiteral("对比度增加");
    case KeybindingAction::ContrastDown:
      return english ? QStringLiteral("Contrast Down") : QStringLiteral("对比度减小");
  }
  return QString();
}

RecordedShortcuts recordedShortcuts() {
  struct Slot {
    KeybindingAction action;
    std::uint32_t keyCode;
    std::uint32_t flags;
    std::uint16_t defaultKeyCode;
  };
  const Slot slots[] = {
      {KeybindingAction::Refresh, RefreshHotkeyKeyCode, RefreshHotkeyModifierFlags, keys::kD},
      {KeybindingAction::ContrastUp, ThresholdInfoHotkeyKeyCode, ThresholdInfoHotkeyModifierFlags, keys::kU},
      {KeybindingAction::ContrastDown, ThresholdDownInfoHotkeyKeyCode, ThresholdDownInfoHotkeyModifierFlags, keys::kP},
  };
  RecordedShortcuts out;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const Slot& s = slots[i];
    const std::uint32_t flags = s.flags & keys::kShortcutModifierMask;
    if (s.keyCode == 0 || s.keyCode > 0xFFFF || flags == 0) {
      out[i] = {s.action, s.defaultKeyCode, keys::kControl};
    } else {
      out[i] = {s.action, static_cast<std::uint16_t>(s.keyCode), flags};
    }
  }
  return out;
}

QString ostrelctlIn(const QString& directory) {
  return directory + QStringLiteral("/ostrelctl");
}

QString shellQuoted(const QString& word) {
  static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
  if (plain.match(word).hasMatch()) return word;
  QString quoted = word;
  quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString ostrelctlCommand(const QString& ostrelctl, KeybindingAction action) {
  return shellQuoted(ostrelctl) + QLatin1Char(' ') + ostrelctlArguments(action).join(QLatin1Char(' '));
}

std::optional<QStringList> shellWords(const QString& commandLine) {
  QStringList words;
  QString word;
  bool inWord = false;
  for (qsizetype i = 0; i < commandLine.size(); ++i) {
    const QChar c = commandLine[i];
    if (c == QLatin1Char('\'')) {
      const qsizetype end = commandLine.indexOf(QLatin1Char('\''), i + 1);
      if (end < 0) return std::nullopt;
      word += commandLine.mid(i + 1, end - i - 1);
      i = end;
      inWord = true;
    } else if (c == QLatin1Char('"')) {
      inWord = true;
      for (++i;; ++i) {
        if (i >= commandLine.size()) return std::nullopt;
        const QChar d = commandLine[i];
        if (d == QLatin1Char('"')) break;
        if (d == QLatin1Char('\\') && i + 1 < commandLine.size() &&
            QStringLiteral("\"\\$`").contains(commandLine[i + 1])) {
          word += commandLine[++i];
        } else {
          word += d;
        }
      }
    } else if (c == QLatin1Char('\\')) {
      if (i + 1 < commandLine.size()) word += commandLine[++i];
      inWord = true;
    } else if (c.isSpace()) {
      if (inWord) words << word;
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words << word;
  return words;
}

std::optional<OstrelctlCall> ostrelctlCallIn(const QString& commandLine) {
  const std::optional<QStringList> words = shellWords(commandLine);
  if (!words || words->isEmpty()) return std::nullopt;
  const QString& program = words->front();
  if (program != QLatin1String("ostrelctl") && !program.endsWith(QLatin1String("/ostrelctl"))) return std::nullopt;
  QStringList arguments;
  for (qsizetype i = 1; i < words->size(); ++i) {
    const QString& w = words->at(i);
    if (w == QLatin1String("-v") || w == QLatin1String("--verbose")) continue;
    arguments << w.toLower();
  }
  for (KeybindingAction action : kKeybindingActions) {
    if (arguments == ostrelctlArguments(action)) return OstrelctlCall{program, action};
  }
  return std::nullopt;
}

}  // namespace ostrel
