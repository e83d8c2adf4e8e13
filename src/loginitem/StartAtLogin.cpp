#include "StartAtLogin.h"

#include "InstallLayout.h"
#include "LoginItemController.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>

namespace ostrel {
namespace {

// Far beyond any real clash; a bound keeps a directory full of odd files from
// turning this into a long search.
constexpr int kMaxNameAttempts = 100;

}  // namespace

StartAtLogin::StartAtLogin(QString executablePath, LoginJobs jobs)
    : executablePath_(std::move(executablePath)), jobs_(std::move(jobs)) {}

StartAtLogin StartAtLogin::forThisProcess() {
  const QString executable = QCoreApplication::applicationFilePath();
  return StartAtLogin(executable, LoginJobs::forExecutable(executable));
}

bool StartAtLogin::isStartAtLogin() const {
  const auto items = jobs_.autostartList().itemsFor(executablePath_);
  return std::any_of(items.cbegin(), items.cend(), [](const AutostartItem& item) { return item.isEnabled(); });
}

bool StartAtLogin::setStartAtLogin(bool startAtLogin) {
  const AutostartList& list = jobs_.autostartList();
  if (startAtLogin) {
    if (isStartAtLogin()) return false;
    const QString fileId = freeFileId();
    if (fileId.isEmpty()) return false;
    return list.write(fileId, QStringLiteral("Ostrel"), executablePath_);
  }
  bool lastRemoval = false;
  for (const AutostartItem& item : list.itemsFor(executablePath_)) lastRemoval = list.remove(item.filePath);
  return lastRemoval;
}

QString StartAtLogin::freeFileId() const {
  const AutostartList& list = jobs_.autostartList();
  const QString ours = AutostartList::resolvePath(executablePath_);
  const auto items = list.items();
  for (int n = 1; n <= kMaxNameAttempts; ++n) {
    const QString fileId = n == 1 ? InstallLayout::mainIdentifier()
                                  : InstallLayout::mainIdentifier() + u'-' + QString::number(n);
    const auto existing = std::find_if(items.cbegin(), items.cend(),
                                       [&](const AutostartItem& item) { return item.fileId == fileId; });
    const bool taken = existing != items.cend() || QFileInfo::exists(list.filePathFor(fileId));
    // Our own switched-off entry is rewritten in place rather than duplicated.
    if (!taken || (existing != items.cend() && existing->program == ours)) return fileId;
  }
  return {};
}

bool StartAtLogin::isStartAtLogin(const LoginJobs& jobs) {
  // Reports VELDOR.testHelper, not the VELDOR.Ostrelkick item that
  // setStartAtLogin2() switches. Kept so: nothing calls it, and a caller that
  // wants the helper's state must ask a controller for VELDOR.Ostrelkick.
  const auto controller = LoginItemController::initWithIdentifier(InstallLayout::testHelperIdentifier(), jobs);
  return controller->startAtLogin();
}

bool StartAtLogin::setStartAtLogin2(bool startAtLogin) {
  const auto controller = LoginItemController::initWithIdentifier(InstallLayout::helperIdentifier(), jobs_);
  controller->setStartAtLogin(startAtLogin);
  return controller->enabled();
}

}  // namespace ostrel
