#include "settings/window/DesktopKeybindingsTexts.h"

#include "keybindings/CompositorKeybindings.h"
#include "keybindings/UserSteps.h"

namespace ostrel {
namespace {

QString pick(bool english, const char* en, const char* zh) {
  return QString::fromUtf8(english ? en : zh);
}

QString shortcutsPath(const QString& backend, bool english) {
  if (backend == QLatin1String("x11")) return pick(english, "Ostrel watches the keys (X11)", "Ostrel 监听按键（X11）");
  if (backend == QLatin1String("portal"))
    return pick(english, "the desktop's GlobalShortcuts portal", "桌面的全局快捷键门户");
  if (backend == QLatin1String("gnome"))
    return pick(english, "GNOME's custom shortcuts run ostrelctl", "GNOME 自定义快捷键运行 ostrelctl");
  if (backend.isEmpty()) return pick(english, "nothing on this desktop", "此桌面上没有");
  return backend;
}

QString inputPath(const QString& backend, bool english) {
  if (backend == QLatin1String("x11")) return pick(english, "XTest (X11)", "XTest（X11）");
  if (backend == QLatin1String("portal"))
    return pick(english, "the desktop's RemoteDesktop portal", "桌面的远程桌面门户");
  if (backend.isEmpty()) return pick(english, "nothing on this desktop", "此桌面上没有");
  return backend;
}

QString shortcutsTodo(const QVariantMap& d, bool english) {
  switch (shortcutsStep(d)) {
    case ShortcutsStep::None:
      return QString();
    case ShortcutsStep::AnswerDesktop:
      return pick(english, "Answer the desktop's question about them.", "请回答桌面关于快捷键的询问。");
    case ShortcutsStep::AskAgain:
      return pick(english, "Change a shortcut, or start Ostrel again, to be asked again.",
                  "更改快捷键或重新启动 Ostrel 后会再次询问。");
    case ShortcutsStep::ChangeInDesktop:
      return pick(english, "Change the keys in the desktop's keyboard settings.", "请在桌面的键盘设置中更改按键。");
    case ShortcutsStep::RestoreGnomeKeys:
      return pick(english, "GNOME runs them on other keys than recorded: Add gives it these.",
                  "GNOME 使用的按键与记录的不同：“添加到 GNOME”会改回记录的按键。");
    case ShortcutsStep::AddToGnome:
      return pick(english, "Add them to GNOME's keyboard shortcuts with the button below.",
                  "请用下面的按钮将它们添加到 GNOME 的键盘快捷键。");
    case ShortcutsStep::PasteKeybindings:
      if (const auto c = compositorNamed(d.value(QStringLiteral("OwnKeybindings")).toString())) {
        return (english ? QStringLiteral("Paste the lines below into %1 and reload it.")
                        : QStringLiteral("请将下面几行粘贴到 %1 并重新加载。"))
            .arg(compositorConfigurationFile(*c));
      }
      return QString();
    case ShortcutsStep::BindOstrelctl:
      return pick(english,
                  "Bind ostrelctl refresh, ostrelctl contrast up and ostrelctl contrast down in the desktop's "
                  "keyboard settings.",
                  "请在桌面的键盘设置中绑定 ostrelctl refresh、ostrelctl contrast up 和 ostrelctl contrast down。");
  }
  return QString();
}

QString inputTodo(const QVariantMap& d, bool english) {
  if (inputStep(d) == InputStep::AllowWhenAsked) {
    return pick(english, "Allow it when the desktop asks, as a monitor connects.",
                "显示器连接时，请在桌面询问时允许。");
  }
  return QString();
}

QString sentence(const QString& label, const QString& path, const QString& todo, bool english) {
  QString line = label + path + (english ? QStringLiteral(".") : QStringLiteral("。"));
  if (!todo.isEmpty()) line += (english ? QStringLiteral(" ") : QString()) + todo;
  return line;
}

}  // namespace

QStringList desktopServiceLines(const QVariantMap& d, bool english) {
  return {
      sentence(pick(english, "Shortcuts: ", "快捷键："),
               shortcutsPath(d.value(QStringLiteral("ShortcutsBackend")).toString(), english),
               shortcutsTodo(d, english), english),
      sentence(pick(english, "Monitor keys and pointer: ", "显示器按键和指针："),
               inputPath(d.value(QStringLiteral("InputBackend")).toString(), english), inputTodo(d, english), english)};
}

QStringList gnomeShortcutLines(const GnomeShortcutsStatus& status, bool english) {
  QStringList lines;
  const QString separator = english ? QStringLiteral(": ") : QStringLiteral("：");
  for (const GnomeShortcutState& s : status.shortcuts) {
    QString line = keybindingActionName(s.action, english) + separator;
    if (!s.listed || s.keys.isEmpty()) {
      line += pick(english, "not in GNOME's shortcuts", "不在 GNOME 快捷键中");
    } else {
      line += s.keys;
      if (!s.runs) line += pick(english, " (runs no ostrelctl that is there)", "（运行的 ostrelctl 不存在）");
      for (const QString& other : s.sameKeyAs) {
        line += (english ? QStringLiteral(" (also the key of “%1”)") : QStringLiteral("（也是“%1”的按键）")).arg(other);
      }
    }
    lines << line;
  }
  return lines;
}

QString gnomeAddTitle(bool english) {
  return pick(english, "Add to GNOME", "添加到 GNOME");
}
QString gnomeRemoveTitle(bool english) {
  return pick(english, "Remove from GNOME", "从 GNOME 移除");
}
QString copyTitle(bool english) {
  return pick(english, "Copy", "复制");
}
QString copiedNote(bool english) {
  return pick(english, "Copied.", "已复制。");
}

QString gnomeFailure(const QString& error, bool english) {
  return (english ? QStringLiteral("GNOME's shortcuts were not changed: %1") : QStringLiteral("GNOME 快捷键未更改：%1"))
      .arg(error);
}

}  // namespace ostrel
