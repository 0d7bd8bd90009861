#include "com_utility/module_location.h"

#include <cinttypes>
#include <cstdio>

#include "platform/file_system.h"
#include "platform/module.h"

namespace {

std::string file_name_of(const std::string& path) {
  const std::size_t pos = platform::last_path_separator(path);
  return pos == std::string::npos ? std::string() : path.substr(pos + 1);
}

}  // namespace

std::string get_module_path() {
  std::string path;
  std::uintptr_t base = 0;
  if (!platform::module_from_address(reinterpret_cast<const void*>(&get_module_path), path, base))
    return std::string();
  return path;
}

std::string get_module_dir() {
  const std::string path = get_module_path();
  const std::size_t pos = platform::last_path_separator(path);
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string get_module_file_name() { return file_name_of(get_module_path()); }

std::string get_interface_location(IUnknown* unknown, int slot) {
  char text[512];
  const void* function = nullptr;
  if (unknown) {
    // The first word of an interface object is its table of functions.
    void* const* table = *reinterpret_cast<void* const* const*>(unknown);
    function = table[slot];
  }
  std::string path;
  std::uintptr_t base = 0;
  if (function && platform::module_from_address(function, path, base)) {
    const std::string name = file_name_of(path);
    if (!name.empty()) {
      const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(function) - base;
      std::snprintf(text, sizeof text, "%s:0x%08" PRIXPTR "[%" PRIXPTR "]", name.c_str(), base, offset);
      return text;
    }
  }
  std::snprintf(text, sizeof text, "Bad IUnknown:0x%08" PRIXPTR, reinterpret_cast<std::uintptr_t>(unknown));
  return text;
}
