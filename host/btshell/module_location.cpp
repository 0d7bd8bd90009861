#include "host/btshell/module_location.h"

#include <filesystem>
#include <system_error>

// Where the build put btshell and the modules; only the paths from the one
// to the others are used.
#ifndef BTSHELL_BUILT_EXE_DIR
#define BTSHELL_BUILT_EXE_DIR "."
#define BTSHELL_BUILT_MODULE "./libbt_shell.so"
#define BTSHELL_BUILT_KERNEL_DIR "."
#endif

namespace btshell {

namespace fs = std::filesystem;

namespace {

// `built` as seen from the executable's folder at build time, applied to
// where the executable is now.
std::string beside_executable(const char* built) {
  const fs::path relative = fs::path(built).lexically_relative(BTSHELL_BUILT_EXE_DIR);
  const std::string dir = executable_dir();
  if (dir.empty() || relative.empty()) return built;
  std::string path = (fs::path(dir) / relative).lexically_normal().string();
  // "dir/." normalises to "dir/"; folders are given without the separator.
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string executable_dir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return std::string();
  return exe.parent_path().string();
}

std::string default_module_path() { return beside_executable(BTSHELL_BUILT_MODULE); }

std::string default_modules_dir() { return beside_executable(BTSHELL_BUILT_KERNEL_DIR); }

}  // namespace btshell
