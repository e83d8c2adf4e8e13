#include "SettingsTestFiles.h"

#include <QDir>
#include <QFile>
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

}  // namespace ostrel::test
