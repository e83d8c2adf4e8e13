#pragma once
// Keeps every library loaded so far in memory until the process ends.
//
// Some libraries unload others from their own destructors at exit (libglvnd's
// EGL drops Mesa's driver, its gbm and glapi), which runs before
// LeakSanitizer's final check. A one-time allocation of the unloaded library
// is then reported as "<unknown module>", which no suppression can name, and
// only when the driver happened to allocate it. Pinned, the report names the
// library, so the suppressions file decides.
#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

namespace ostrel::test {

inline void pinLoadedLibraries() {
  std::vector<std::string> paths;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        if (info->dlpi_name && info->dlpi_name[0] == '/')
          static_cast<std::vector<std::string>*>(out)->emplace_back(info->dlpi_name);
        return 0;
      },
      &paths);
  // dlopen outside the iteration: the loader's lock is held inside it.
  for (const std::string& path : paths) {
    // RTLD_NOLOAD only takes another reference on what is already loaded;
    // RTLD_NODELETE makes a later dlclose leave it in place.
    if (void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE)) (void)handle;
  }
}

}  // namespace ostrel::test
