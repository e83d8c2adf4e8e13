#include "platform/portal/TriggerDescription.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

namespace ostrel::platform::portal {
namespace {

// GTK's modifier names (gtk_accelerator_parse), in Ostrel's spelling.
QString modifierName(const QString& gtk) {
  static const QHash<QString, QString> names = {
      {QStringLiteral("control"), QStringLiteral("Ctrl")}, {QStringLiteral("ctrl"), QStringLiteral("Ctrl")},
      {QStringLiteral("ctl"), QStringLiteral("Ctrl")},     {QStringLiteral("primary"), QStringLiteral("Ctrl")},
      {QStringLiteral("shift"), QStringLiteral("Shift")},  {QStringLiteral("shft"), QStringLiteral("Shift")},
      {QStringLiteral("alt"), QStringLiteral("Alt")},      {QStringLiteral("mod1"), QStringLiteral("Alt")},
      {QStringLiteral("super"), QStringLiteral("Super")},  {QStringLiteral("mod4"), QStringLiteral("Super")},
      {QStringLiteral("meta"), QStringLiteral("Meta")},    {QStringLiteral("hyper"), QStringLiteral("Hyper")},
  };
  return names.value(gtk.toLower(), gtk);
}

QString accelerator(const QRegularExpressionMatch& m) {
  static const QRegularExpression modifier(QStringLiteral("<([A-Za-z0-9_]+)>"));
  QStringList parts;
  for (auto it = modifier.globalMatch(m.captured(1)); it.hasNext();) parts << modifierName(it.next().captured(1));
  const QString key = m.captured(2);
  parts << (key.size() == 1 ? key.toUpper() : key);
  return parts.join(QLatin1Char('+'));
}

}  // namespace

QString readableTrigger(const QString& description) {
  // Modifiers in angle brackets, then the key's name (GTK names every key with
  // letters, digits and underscores: "r", "Page_Down", "period").
  static const QRegularExpression gtkAccelerator(QStringLiteral("((?:<[A-Za-z0-9_]+>)+)([A-Za-z0-9_]+)"));
  QList<QRegularExpressionMatch> found;
  for (auto it = gtkAccelerator.globalMatch(description); it.hasNext();) found << it.next();
  if (found.isEmpty()) return description;
  if (found.size() == 1) return accelerator(found.front());
  QString out = description;
  for (auto it = found.crbegin(); it != found.crend(); ++it) {
    out.replace(it->capturedStart(), it->capturedLength(), accelerator(*it));
  }
  return out;
}

}  // namespace ostrel::platform::portal
