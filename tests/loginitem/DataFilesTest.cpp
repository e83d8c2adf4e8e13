#include "LoginTestFiles.h"
#include "loginitem/AutostartList.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

using namespace ostrel::test;

QString sourceFile(const QString& relative) { return qEnvironmentVariable("OSTREL_SOURCE_DIR") + "/" + relative; }

// desktop-file-validate's verdict: empty when the file passes. Hints are
// allowed only where asked for: the shipped entry must have none.
QString validationProblems(const QString& path, bool allowHints = true) {
  QProcess validate;
  validate.start(QStandardPaths::findExecutable("desktop-file-validate"), {path});
  if (!validate.waitForFinished(30000)) return "desktop-file-validate did not finish";
  const QString output = QString::fromUtf8(validate.readAllStandardOutput() + validate.readAllStandardError());
  QStringList problems;
  for (const QString& line : output.split('\n', Qt::SkipEmptyParts))
    if (!allowHints || !line.contains(": hint: ")) problems << line;
  if (validate.exitCode() != 0 && problems.isEmpty()) problems << "exit code " + QString::number(validate.exitCode());
  return problems.join('\n');
}

class DesktopFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
      GTEST_SKIP() << "desktop-file-validate is missing (package desktop-file-utils)";
  }
};

TEST_F(DesktopFiles, ApplicationEntryValidates) {
  const QString path = sourceFile("data/VELDOR.Ostrel.desktop");
  ASSERT_TRUE(QFile::exists(path)) << path.toStdString();
  EXPECT_EQ(validationProblems(path, false), "");
}

TEST_F(DesktopFiles, AutostartEntriesValidateWhateverThePath) {
  const QString dir = freshAutostartDirectory();
  const QString paths[] = {
      "/usr/bin/ostrel",
      "/opt/my apps/ostrel",
      "/opt/quote\"d'/ostrel",
      "/opt/back\\slash/ostrel",
      "/opt/$HOME/`x`/ostrel",
      "/opt/100%/ostrel",
      "/opt/tab\tand\nnewline/ostrel",
      "/opt/#hash (1) *?;&|<>~/ostrel",
      QStringLiteral("/opt/墨水屏/ostrel"),
  };
  int n = 0;
  for (const QString& path : paths) {
    const QString fileId = "entry" + QString::number(n++);
    ASSERT_TRUE(ostrel::AutostartList(dir).write(fileId, "Ostrel", path)) << path.toStdString();
    EXPECT_EQ(validationProblems(dir + "/" + fileId + ".desktop"), "") << path.toStdString();
  }
}

TEST(Icon, IsAWellFormedScalableIcon) {
  QFile file(sourceFile("data/ostrel.svg"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  QString rootName;
  QString viewBox;
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement && rootName.isEmpty()) {
      rootName = xml.name().toString();
      viewBox = xml.attributes().value("viewBox").toString();
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
  EXPECT_EQ(rootName, "svg");
  EXPECT_EQ(viewBox, "0 0 128 128") << "square, so it scales to every icon size";
}

}  // namespace
