#include "settings/window/DesktopShortcutNotes.h"

#include "common/DesktopServices.h"

#include <QStringList>

namespace ostrel {
namespace {

QString shortcutName(const QString& id, bool english) {
  if (id == DesktopShortcutRefresh) return english ? QStringLiteral("Fast Refresh") : QStringLiteral("快速刷新");
  if (id == DesktopShortcutContrastUp) return english ? QStringLiteral("Contrast Up") : QStringLiteral("对比度增加");
  return english ? QStringLiteral("Contrast Down") : QStringLiteral("对比度减小");
}

QString assignmentLine(const ShortcutAssignment& a, bool english) {
  const QString name = shortcutName(a.id, english);
  if (a.assigned.isEmpty()) {
    return english
               ? QStringLiteral("%1: the desktop assigned no key; set one in the desktop's keyboard settings").arg(name)
               : QStringLiteral("%1：桌面没有分配按键，请在桌面的键盘设置中设置").arg(name);
  }
  if (a.matchesPreferred()) {
    return english ? QStringLiteral("%1: %2, assigned by the desktop").arg(name, a.assigned)
                   : QStringLiteral("%1：%2（桌面已分配）").arg(name, a.assigned);
  }
  return english ? QStringLiteral("%1: the desktop assigned %2; change it in the desktop's keyboard settings")
                       .arg(name, a.assigned)
                 : QStringLiteral("%1：桌面分配的是 %2，请在桌面的键盘设置中更改").arg(name, a.assigned);
}

}  // namespace

DesktopShortcutNotes::DesktopShortcutNotes(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("desktopShortcutNotes"));
  setWordWrap(true);
  setTextFormat(Qt::PlainText);
  NotificationCenter& center = NotificationCenter::defaultCenter();
  observer_ = ScopedObserver(center, center.addObserver(DesktopServicesDidChangeNotification, nullptr,
                                                        [this](const Notification&) { refresh(); }));
  refresh();
}

void DesktopShortcutNotes::setLanguage(int language) {
  english_ = language != 0;
  refresh();
}

void DesktopShortcutNotes::refresh() {
  const QString text = noteText(DesktopServices::shared(), english_);
  setText(text);
  setVisible(!text.isEmpty());
}

QString DesktopShortcutNotes::noteText(const DesktopServices& services, bool english) {
  if (services.state(DesktopService::Shortcuts).backend != QLatin1String("portal")) return QString();
  QStringList lines;
  if (services.awaitingConfirmation(DesktopService::Shortcuts)) {
    lines << (english ? QStringLiteral("Waiting for the desktop's confirmation: add the shortcuts in the dialog it "
                                       "shows.")
                      : QStringLiteral("正在等待桌面的确认：请在桌面显示的对话框中添加快捷键。"));
  } else {
    lines << shortcutLines(services, english);
  }
  if (services.awaitingConfirmation(DesktopService::Input)) {
    lines << (english ? QStringLiteral("The monitor's keys and pointer are waiting for the desktop's confirmation: "
                                       "allow them in the dialog it shows.")
                      : QStringLiteral("显示器的按键和指针正在等待桌面的确认：请在桌面显示的对话框中允许。"));
  }
  lines.removeAll(QString());
  return lines.join(QLatin1Char('\n'));
}

QString DesktopShortcutNotes::shortcutLines(const DesktopServices& services, bool english) {
  switch (services.binding()) {
    case ShortcutBinding::NotAsked:
      return QString();
    case ShortcutBinding::Asking:
      return english ? QStringLiteral("Waiting for the desktop to assign the shortcuts' keys…")
                     : QStringLiteral("正在等待桌面分配快捷键…");
    case ShortcutBinding::Declined:
      return english ? QStringLiteral(
                           "The desktop declined the shortcuts; Ostrel asks again when you change them or "
                           "start it again.")
                     : QStringLiteral("桌面拒绝了快捷键；更改快捷键或重新启动 Ostrel 时会再次询问。");
    case ShortcutBinding::Failed:
      return english ? QStringLiteral(
                           "The desktop could not assign the shortcuts; Ostrel asks again when you change "
                           "them or start it again.")
                     : QStringLiteral("桌面无法分配快捷键；更改快捷键或重新启动 Ostrel 时会再次询问。");
    case ShortcutBinding::Bound:
      break;
  }
  QStringList lines;
  for (const ShortcutAssignment& a : services.assignments()) lines << assignmentLine(a, english);
  return lines.join(QLatin1Char('\n'));
}

}  // namespace ostrel
