#include "LoginTestFiles.h"
#include "loginitem/InstallLayout.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using ostrel::InstallLayout;
using namespace ostrel::test;

TEST(InstallLayout, OstrelAndItsHelperFindEachOther) {
  QTemporaryDir tree;
  const QString root = QFileInfo(tree.path()).canonicalFilePath();
  const QString installedBin = root + "/usr/bin";
  const QString installedHelper =
      QDir::cleanPath(installedBin + "/" + InstallLayout::helperDirFromBin() + "/ostrelkick");
  const QString buildBin = root + "/work/build/bin";
  writeExecutable(installedBin + "/ostrel", "#!/bin/sh\n");
  writeExecutable(installedHelper, "#!/bin/sh\n");
  writeExecutable(buildBin + "/ostrel", "#!/bin/sh\n");
  writeExecutable(buildBin + "/ostrelkick", "#!/bin/sh\n");
  writeExecutable(root + "/plain/bin/ostrel", "#!/bin/sh\n");
  writeFile(root + "/noexec/bin/ostrel", "");
  writeFile(root + "/noexec/bin/ostrelkick", "not executable");

  const struct {
    const char* label;
    QString ostrel;
    QString helper;
  } cases[] = {
      {"installed tree", installedBin + "/ostrel", installedHelper},
      {"build tree", buildBin + "/ostrel", buildBin + "/ostrelkick"},
      {"no helper installed", root + "/plain/bin/ostrel", ""},
      {"helper that cannot run", root + "/noexec/bin/ostrel", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InstallLayout::helperExecutableFor(c.ostrel), c.helper) << c.label;
    if (!c.helper.isEmpty()) {
      EXPECT_EQ(InstallLayout::mainExecutableFor(c.helper, "ostrel"), c.ostrel) << c.label << ", back again";
    }
  }
  EXPECT_EQ(QFileInfo(installedHelper).absolutePath().section('/', -1), "ostrel")
      << "the helper directory is Ostrel's own, which is how the helper knows it is installed";
}

TEST(InstallLayout, IdentifiersNameTheirPrograms) {
  const struct {
    QString identifier;
    QString program;
  } cases[] = {
      {"VELDOR.Ostrel", "ostrel"},
      {"VELDOR.Ostrelkick", "ostrelkick"},
      {"ostrel", "ostrel"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(InstallLayout::programForIdentifier(c.identifier), c.program);
}

}  // namespace
