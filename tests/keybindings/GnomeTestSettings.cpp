#include "GnomeTestSettings.h"

#include "support/ChildProcess.h"

#include <gtest/gtest.h>
#include <QRegularExpression>

namespace ostrel::test {

using namespace std::chrono_literals;

QString gsettings(const QStringList& arguments) {
  ChildProcess tool;
  QString error;
  EXPECT_TRUE(tool.start(QStringLiteral("/usr/bin/gsettings"), arguments, &error)) << error.toStdString();
  const std::optional<ChildExit> exit = tool.waitForExit(30s);
  tool.waitForEndOfStreams(10s);
  EXPECT_TRUE(exit && exit->exited && exit->status == 0) << "gsettings " << arguments.join(' ').toStdString();
  QStringList lines;
  for (const StampedLine& l : tool.lines(ChildStream::Output)) lines << QString::fromUtf8(l.text);
  return lines.join(QLatin1Char('\n'));
}

QStringList customPaths() {
  // GVariant text: @as [] or ['a', 'b'] (paths hold no quotes here).
  const QString text = gsettings({QStringLiteral("get"), kMediaKeys, QStringLiteral("custom-keybindings")});
  QStringList paths;
  static const QRegularExpression item(QStringLiteral("'([^']*)'"));
  for (auto it = item.globalMatch(text); it.hasNext();) paths << it.next().captured(1);
  return paths;
}

QString entryValue(const QString& path, const QString& key) {
  QString text = gsettings({QStringLiteral("get"), kMediaKeys + QStringLiteral(".custom-keybinding:") + path, key});
  // A string comes back quoted, '...' or "..." when it holds a '.
  if (text.size() >= 2) text = text.mid(1, text.size() - 2);
  text.replace(QLatin1String("\\'"), QLatin1String("'"));
  return text;
}

void setCustomPaths(const QStringList& paths) {
  QStringList quoted;
  for (const QString& p : paths) quoted << QLatin1Char('\'') + p + QLatin1Char('\'');
  gsettings({QStringLiteral("set"), kMediaKeys, QStringLiteral("custom-keybindings"),
             QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']')});
}

void writeEntry(const QString& path, const QString& name, const QString& command, const QString& binding) {
  const QString schema = kMediaKeys + QStringLiteral(".custom-keybinding:") + path;
  gsettings({QStringLiteral("set"), schema, QStringLiteral("name"), name});
  gsettings({QStringLiteral("set"), schema, QStringLiteral("command"), command});
  gsettings({QStringLiteral("set"), schema, QStringLiteral("binding"), binding});
}

}  // namespace ostrel::test

namespace ostrel::test {

void resetGnomeSettings() {
  gsettings({QStringLiteral("reset-recursively"), kMediaKeys});
  for (const char* name :
       {"ostrel-refresh", "ostrel-contrast-up", "ostrel-contrast-down", "custom0", "custom1", "custom2"}) {
    gsettings({QStringLiteral("reset-recursively"), kMediaKeys + QStringLiteral(".custom-keybinding:") + kCustomFolder +
                                                        QLatin1String(name) + QLatin1Char('/')});
  }
}

}  // namespace ostrel::test
