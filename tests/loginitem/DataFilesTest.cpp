#include "LoginTestFiles.h"
#include "loginitem/AutostartList.h"

#include <QFile>
#include <QMap>
#include <QSet>
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

// A menu or launcher in Chinese shows these keys; one without its zh_CN line
// falls back to English there. The application's Name is the brand and stays.
TEST(DesktopEntryTexts, EveryShownTextHasAChineseLine) {
  QFile file(sourceFile("data/VELDOR.Ostrel.desktop"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  QString group;
  QMap<QString, QStringList> shownKeys;  // group -> keys a user reads
  QSet<QString> translated;              // "group/key"
  for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
    if (line.startsWith('[')) {
      group = line;
      continue;
    }
    const QString key = line.section('=', 0, 0);
    if (key.endsWith("[zh_CN]")) translated << group + "/" + key.chopped(7);
    const bool shown =
        key == "GenericName" || key == "Comment" || key == "Keywords" || (key == "Name" && group != "[Desktop Entry]");
    if (shown) shownKeys[group] << key;
  }
  int checked = 0;
  for (auto it = shownKeys.cbegin(); it != shownKeys.cend(); ++it)
    for (const QString& key : it.value()) {
      ++checked;
      EXPECT_TRUE(translated.contains(it.key() + "/" + key)) << QString(it.key() + " " + key).toStdString();
    }
  EXPECT_GE(checked, 6);
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
