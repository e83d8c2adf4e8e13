#pragma once
// Files for the preference tests: every case gets a folder of its own under the
// test's XDG_CONFIG_HOME, so the real INI file can be inspected byte for byte.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

namespace ostrel::test {

class SettingsFolder {
 public:
  SettingsFolder();
  QString path(const QString& name = QStringLiteral("Ostrel.conf")) const;
  QString dir() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

QByteArray readBytes(const QString& path);
// Writes the way editors and QSaveFile do: a new file renamed over the old one.
void replaceFile(const QString& path, const QByteArray& bytes);
void writeInPlace(const QString& path, const QByteArray& bytes);
// What another program using QSettings would leave: its text for `values`
// (at least one), moved into place over the old file.
void writeIniFromOutside(const QString& path, const QVariantMap& values);

}  // namespace ostrel::test
