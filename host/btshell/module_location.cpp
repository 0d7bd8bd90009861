#include "host/btshell/module_location.h"

#include <filesystem>
#include <system_error>

// Where the build put btshell and the modules, and where the installed tree
// has them relative to the installed btshell; only the paths from the
// executable to the modules are used.
#ifndef BTSHELL_BUILT_EXE_DIR
#define BTSHELL_BUILT_EXE_DIR "."
#define BTSHELL_BUILT_MODULE "./libbt_shell.so"
#define BTSHELL_BUILT_KERNEL_DIR "../kernel"
#define BTSHELL_BUILT_RECORDING_KERNEL_DIR "./recording_kernel"
#define BTSHELL_INSTALLED_MODULE "../lib/bt_shell/libbt_shell.so"
#define BTSHELL_INSTALLED_KERNEL_DIR "../lib/bt_shell/kernels/libtorrent"
#define BTSHELL_INSTALLED_RECORDING_KERNEL_DIR "../lib/bt_shell/kernels/recording"
#endif

namespace btshell {

namespace fs = std::filesystem;

namespace {

// `relative` applied to the executable's folder, normalised.
std::string beside_executable(const fs::path& relative) {
  const std::string dir = executable_dir();
  if (dir.empty() || relative.empty()) return relative.string();
  std::string path = (fs::path(dir) / relative).lexically_normal().string();
  // "dir/." normalises to "dir/"; folders are given without the separator.
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A path of the build tree as seen from btshell's folder there.
fs::path from_built_executable(const char* built) {
  return fs::path(built).lexically_relative(BTSHELL_BUILT_EXE_DIR);
}

// True when btshell runs from an installed tree: the build tree's module is
// not beside it, the installed tree's is.
bool runs_installed() {
  std::error_code ec;
  return !fs::exists(beside_executable(from_built_executable(BTSHELL_BUILT_MODULE)), ec) &&
         fs::exists(beside_executable(BTSHELL_INSTALLED_MODULE), ec);
}

}  // namespace

std::string executable_dir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return std::string();
  return exe.parent_path().string();
}

std::string default_module_path() {
  return beside_executable(runs_installed() ? fs::path(BTSHELL_INSTALLED_MODULE)
                                            : from_built_executable(BTSHELL_BUILT_MODULE));
}

std::string default_modules_dir(kernel_module kernel) {
  const bool recording = kernel == kernel_module::recording;
  if (runs_installed())
    return beside_executable(recording ? BTSHELL_INSTALLED_RECORDING_KERNEL_DIR : BTSHELL_INSTALLED_KERNEL_DIR);
  return beside_executable(
      from_built_executable(recording ? BTSHELL_BUILT_RECORDING_KERNEL_DIR : BTSHELL_BUILT_KERNEL_DIR));
}

}  // namespace btshell
