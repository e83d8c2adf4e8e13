#include "KivMenu.h"

#include <mutex>

namespace ostrel {
namespace {

struct ProviderHolder {
  std::mutex mutex;
  KivMenu::Provider provider;
};

ProviderHolder& holder() {
  static ProviderHolder h;
  return h;
}

}  // namespace

void KivMenu::setMainMenuProvider(Provider provider) {
  std::lock_guard lock(holder().mutex);
  holder().provider = std::move(provider);
}

std::shared_ptr<const KivMenu> KivMenu::mainMenu() {
  Provider provider;
  {
    std::lock_guard lock(holder().mutex);
    provider = holder().provider;
  }
  return provider ? provider() : nullptr;
}

}  // namespace ostrel
