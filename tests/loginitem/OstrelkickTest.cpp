#include "LoginTestFiles.h"
#include "loginitem/InstallLayout.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

using ostrel::InstallLayout;
using namespace ostrel::test;

QString builtHelper() { return qEnvironmentVariable("OSTREL_BIN_DIR") + "/ostrelkick"; }

bool waitForFile(const QString& path, int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) {
    if (QFileInfo(path).size() > 0) return true;
    QThread::msleep(20);
  }
  return QFileInfo(path).size() > 0;
}

struct HelperRun {
  int exitCode = -1;
  QString errors;
  QString output;
};

HelperRun runHelper(const QString& helper, const QStringList& arguments = {}) {
  QProcess process;
  process.start(helper, arguments);
  HelperRun run;
  if (!process.waitForFinished(30000)) {
    process.kill();
    process.waitForFinished();
    ADD_FAILURE() << "the helper did not end";
    return run;
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.errors = QString::fromUtf8(process.readAllStandardError());
  run.output = QString::fromUtf8(process.readAllStandardOutput());
  return run;
}

// A stand-in for Ostrel that leaves proof of its start: its working directory
// and its arguments, one per line.
class OstrelkickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QFileInfo(builtHelper()).isExecutable()) << "build the ostrelkick target first";
    root = QFileInfo(tree.path()).canonicalFilePath();
    marker = root + "/marker";
  }
  void TearDown() override {
    if (dummy.state() != QProcess::NotRunning) {
      dummy.kill();
      dummy.waitForFinished();
    }
  }

  void installOstrel(const QString& path) {
    writeExecutable(path, "#!/bin/sh\nprintf '%s\\n' \"$PWD\" \"$@\" > '" + marker.toUtf8() + "'\n");
  }
  QString installedHelperPath() const {
    return QDir::cleanPath(root + "/prefix/bin/" + InstallLayout::helperDirFromBin() + "/ostrelkick");
  }

  QTemporaryDir tree;
  QString root;
  QString marker;
  QProcess dummy;
};

TEST_F(OstrelkickTest, StartsOstrelFromTheInstalledTreeWhenItIsNotRunning) {
  const struct {
    const char* label;
    QString ostrel;
    QString helper;
  } layouts[] = {
      {"installed tree", "/prefix/bin/ostrel", ""},
      {"build tree", "/build/bin/ostrel", "/build/bin/ostrelkick"},
  };
  for (const auto& layout : layouts) {
    QFile::remove(marker);
    installOstrel(root + layout.ostrel);
    const QString helper = layout.helper.isEmpty() ? installedHelperPath() : root + layout.helper;
    copyExecutable(builtHelper(), helper);

    const HelperRun run = runHelper(helper);
    EXPECT_EQ(run.exitCode, 0) << layout.label << "\n" << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("NSApplicationMain >>>>>>>>>>>>>>>>>\n")) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("applicationDidFinishLaunching>>>>>>>>>>>>>>>>>>>>>>\n"))
        << run.errors.toStdString();
    EXPECT_LT(run.errors.indexOf("NSApplicationMain"), run.errors.indexOf("applicationDidFinishLaunching"));
    ASSERT_TRUE(waitForFile(marker, 20000)) << layout.label << ": Ostrel was not started";
    EXPECT_EQ(readFile(marker), QDir::homePath().toUtf8() + "\n--minimized\n")
        << "started minimised, in the home directory";
  }
}

TEST_F(OstrelkickTest, LeavesARunningOstrelAloneAndEnds) {
  installOstrel(root + "/prefix/bin/ostrel");
  copyExecutable(builtHelper(), installedHelperPath());
  copyExecutable("/bin/sleep", root + "/elsewhere/ostrel");
  dummy.start(root + "/elsewhere/ostrel", {"60"});
  ASSERT_TRUE(dummy.waitForStarted());

  const HelperRun run = runHelper(installedHelperPath());
  EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
  EXPECT_TRUE(run.errors.contains("applicationDidFinishLaunching>>>>>>>>>>>>>>>>>>>>>>")) << run.errors.toStdString();
  EXPECT_FALSE(waitForFile(marker, 1500)) << "a second Ostrel was started";
  EXPECT_EQ(dummy.state(), QProcess::Running) << "the running Ostrel is not the helper's to stop";
}

TEST_F(OstrelkickTest, AskedWhatItIsItAnswersAndStartsNothing) {
  installOstrel(root + "/prefix/bin/ostrel");
  copyExecutable(builtHelper(), installedHelperPath());
  for (const char* option : {"--help", "--version"}) {
    SCOPED_TRACE(option);
    const HelperRun run = runHelper(installedHelperPath(), {option});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.output.startsWith(option == QLatin1String("--help") ? "Usage: ostrelkick\n" : "ostrelkick "))
        << run.output.toStdString();
    EXPECT_TRUE(run.errors.isEmpty()) << run.errors.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(marker)) << "Ostrel was started";
}

TEST_F(OstrelkickTest, ReportsAnOstrelThatCannotBeStarted) {
  copyExecutable(builtHelper(), installedHelperPath());
  const HelperRun run = runHelper(installedHelperPath());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.errors.contains("runMainApp: could not launch " + root + "/prefix/bin/ostrel"))
      << run.errors.toStdString();
}

}  // namespace
