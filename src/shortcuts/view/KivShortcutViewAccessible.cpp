#include "KivShortcutViewAccessible.h"

#include "KivShortcutView.h"

#include <mutex>

namespace ostrel {
namespace {

QAccessibleInterface* recorderFactory(const QString& className, QObject* object) {
  if (className != QLatin1String(KivShortcutView::staticMetaObject.className()) || !object) return nullptr;
  auto* view = qobject_cast<KivShortcutView*>(object);
  return view ? new KivShortcutViewAccessible(view) : nullptr;
}

}  // namespace

KivShortcutViewAccessible::KivShortcutViewAccessible(KivShortcutView* view)
    : QAccessibleWidget(view, QAccessible::Button) {}

void KivShortcutViewAccessible::installFactory() {
  static std::once_flag once;
  std::call_once(once, [] { QAccessible::installFactory(recorderFactory); });
}

KivShortcutView* KivShortcutViewAccessible::view() const {
  return static_cast<KivShortcutView*>(widget());
}

QString KivShortcutViewAccessible::text(QAccessible::Text t) const {
  switch (t) {
    case QAccessible::Name:
      return view()->accessibilityLabel();
    case QAccessible::Description:
    case QAccessible::Help:
      return view()->accessibilityHelp();
    case QAccessible::UserText:
      return view()->accessibilityAnnouncement();
    default:
      return QAccessibleWidget::text(t);
  }
}

QStringList KivShortcutViewAccessible::actionNames() const {
  QStringList names = QAccessibleWidget::actionNames();
  if (!names.contains(pressAction())) names.prepend(pressAction());
  return names;
}

void KivShortcutViewAccessible::doAction(const QString& actionName) {
  if (actionName == pressAction()) {
    lastPressSucceeded_ = view()->accessibilityPerformPress();
    return;
  }
  QAccessibleWidget::doAction(actionName);
}

}  // namespace ostrel
