#include "SettingsTestFiles.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace ostrel::test {

SettingsFolder::SettingsFolder()
    : dir_(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/prefs-XXXXXX")) {
  EXPECT_TRUE(dir_.isValid());
}

QString SettingsFolder::path(const QString& name) const {
  return dir_.filePath(name);
}

QByteArray readBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void replaceFile(const QString& path, const QByteArray& bytes) {
  const QString staging = path + QStringLiteral(".editing");
  writeInPlace(staging, bytes);
  QFile::remove(path);
  ASSERT_TRUE(QFile::rename(staging, path));
}

void writeInPlace(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  ASSERT_EQ(f.write(bytes), bytes.size());
}

void writeIniFromOutside(const QString& path, const QVariantMap& values) {
  ASSERT_FALSE(values.isEmpty()) << "QSettings writes no file for no values";
  const QString scratch = path + QStringLiteral(".outside");
  QFile::remove(scratch);
  {
    QSettings other(scratch, QSettings::NativeFormat);
    for (auto it = values.begin(); it != values.end(); ++it) other.setValue(it.key(), it.value());
  }
  QFile::remove(path);
  ASSERT_TRUE(QFile::rename(scratch, path));
}

}  // namespace ostrel::test
