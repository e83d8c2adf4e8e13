#include "InstallLayout.h"

#include <QDir>
#include <QFileInfo>

namespace ostrel {

QString InstallLayout::mainIdentifier() { return QStringLiteral("VELDOR.Ostrel"); }
QString InstallLayout::helperIdentifier() { return QStringLiteral("VELDOR.Ostrelkick"); }
QString InstallLayout::testHelperIdentifier() { return QStringLiteral("VELDOR.testHelper"); }
QString InstallLayout::mainExecutableName() { return QStringLiteral("ostrel"); }
QString InstallLayout::helperExecutableName() { return QStringLiteral("ostrelkick"); }

// Both come from the install directories the build was configured with.
QString InstallLayout::helperDirFromBin() { return QStringLiteral(OSTREL_HELPER_DIR_FROM_BIN); }
QString InstallLayout::binFromHelperDir() { return QStringLiteral(OSTREL_BIN_FROM_HELPER_DIR); }

QString InstallLayout::helperExecutableFor(const QString& mainExecutable) {
  const QString binDir = QFileInfo(mainExecutable).absolutePath();
  const QString candidates[] = {
      QDir::cleanPath(binDir + u'/' + helperDirFromBin() + u'/' + helperExecutableName()),
      QDir::cleanPath(binDir + u'/' + helperExecutableName()),
  };
  for (const QString& candidate : candidates) {
    const QFileInfo info(candidate);
    if (info.isFile() && info.isExecutable()) return candidate;
  }
  return {};
}

QString InstallLayout::mainExecutableFor(const QString& helperExecutable, const QString& appName) {
  const QFileInfo helper(helperExecutable);
  const QString helperDir = helper.absolutePath();
  const QString helperDirName = QFileInfo(helperDirFromBin()).fileName();
  if (QFileInfo(helperDir).fileName() == helperDirName)
    return QDir::cleanPath(helperDir + u'/' + binFromHelperDir() + u'/' + appName);
  return QDir::cleanPath(helperDir + u'/' + appName);
}

QString InstallLayout::programForIdentifier(const QString& bundleIdentifier) {
  return bundleIdentifier.section(u'.', -1).toLower();
}

}  // namespace ostrel
