#include "LoginTestFiles.h"

#include "loginitem/AutostartList.h"
#include "loginitem/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace ostrel::test {

void writeFile(const QString& path, const QByteArray& contents) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  ASSERT_EQ(file.write(contents), contents.size());
}

void writeExecutable(const QString& path, const QByteArray& contents) {
  writeFile(path, contents);
  QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

void copyExecutable(const QString& from, const QString& to) {
  QDir().mkpath(QFileInfo(to).absolutePath());
  QFile::remove(to);
  ASSERT_TRUE(QFile::copy(from, to)) << from.toStdString() << " -> " << to.toStdString();
  QFile::setPermissions(to, QFile::permissions(to) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

QByteArray entryText(const QString& exec, const QByteArray& extraLines) {
  return "[Desktop Entry]\nType=Application\nName=Test\nExec=" + exec.toUtf8() + "\n" + extraLines;
}

QByteArray entryFor(const QString& program, const QByteArray& extraLines) {
  const std::optional<QString> exec = DesktopEntry::quoteExecArgument(program);
  EXPECT_TRUE(exec.has_value()) << program.toStdString();
  return entryText(exec.value_or(QString()), extraLines);
}

QString freshAutostartDirectory() {
  const QString dir = AutostartList::userDirectory();
  // Never empty a real person's autostart directory: only the scratch
  // configuration that the test runner makes may be touched.
  const QString scratch = qEnvironmentVariable("OSTREL_TEST_SCRATCH");
  if (scratch.isEmpty() || !dir.startsWith(scratch + u'/')) {
    std::fprintf(stderr, "refusing to clear %s: run this test through ctest\n", qPrintable(dir));
    std::abort();
  }
  QDir(dir).removeRecursively();
  return dir;
}

}  // namespace ostrel::test
