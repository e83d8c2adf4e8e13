#include "LoginJobs.h"

#include "InstallLayout.h"
#include "common/Log.h"

namespace ostrel {

LoginJobs::LoginJobs(AutostartList list, HelperLocator locator)
    : list_(std::move(list)), locator_(std::move(locator)) {}

LoginJobs LoginJobs::forExecutable(const QString& mainExecutable) {
  return LoginJobs(AutostartList::forUser(), [mainExecutable](const QString& identifier) {
    if (identifier != InstallLayout::helperIdentifier()) return QString();
    return InstallLayout::helperExecutableFor(mainExecutable);
  });
}

std::vector<LoginJob> LoginJobs::copyAllJobDictionaries() const {
  std::vector<LoginJob> jobs;
  for (const AutostartItem& item : list_.items()) jobs.push_back(LoginJob{item.fileId, item.isEnabled()});
  return jobs;
}

bool LoginJobs::loginItemSetEnabled(const QString& identifier, bool enabled) const {
  if (identifier.isEmpty() || identifier.contains(u'/')) {
    log("Login item \"%@\" refused: an identifier is a plain name", identifier);
    return false;
  }
  if (!enabled) return list_.remove(list_.filePathFor(identifier));
  const QString helper = locator_ ? locator_(identifier) : QString();
  if (helper.isEmpty()) {
    log("Login item %@ not enabled: no helper of that identifier is installed", identifier);
    return false;
  }
  return list_.write(identifier, identifier.section(u'.', -1), helper);
}

}  // namespace ostrel
