#include "platform/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>

namespace platform {

namespace {
std::atomic<LONG> g_lock_count{0};

// dladdr gives the name the module was loaded under, which may be relative;
// make it absolute where the file can still be found.
std::string absolute_module_path(const char* name) {
  if (name && *name) {
    char resolved[PATH_MAX];
    if (realpath(name, resolved)) return resolved;
    return name;
  }
  // The main program: its map has no name.
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return std::string();
  return std::string(exe, static_cast<std::size_t>(n));
}
}  // namespace

LONG module_lock() { return ++g_lock_count; }
LONG module_unlock() { return --g_lock_count; }
LONG module_lock_count() { return g_lock_count.load(); }

bool module_from_address(const void* address, std::string& path, std::uintptr_t& base) {
  Dl_info info{};
  if (!address || dladdr(address, &info) == 0 || !info.dli_fbase) return false;
  path = absolute_module_path(info.dli_fname);
  base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
  return !path.empty();
}

}  // namespace platform
