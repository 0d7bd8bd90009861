#include "host/btshell/staged_module.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace btshell {

namespace fs = std::filesystem;

staged_module::~staged_module() { remove(); }

void staged_module::remove() {
  if (folder_.empty()) return;
  std::error_code ec;
  fs::remove_all(folder_, ec);  // a module still mapped keeps its pages
  folder_.clear();
  path_.clear();
}

bool staged_module::create(const std::string& module, const std::string& ini_name, const std::string& ini_text,
                           std::string& error) {
  remove();
  std::error_code ec;
  if (!fs::is_regular_file(module, ec)) {
    error = "no module at " + module;
    return false;
  }
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string pattern = (base / "btshell.XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) {
    error = "cannot make a temporary folder from " + pattern + ": " + std::strerror(errno);
    return false;
  }
  folder_ = buffer.data();
  const fs::path copy = fs::path(folder_) / fs::path(module).filename();
  if (!fs::copy_file(module, copy, ec)) {
    error = "cannot copy " + module + " to " + folder_ + ": " + ec.message();
    remove();
    return false;
  }
  // The module finds the libraries that lie beside it through $ORIGIN (an
  // installed tree's libmp.so): each is linked into the copy's folder.
  const fs::path home = fs::absolute(module, ec).parent_path();
  for (const fs::directory_entry& entry : fs::directory_iterator(home, ec)) {
    const std::string name = entry.path().filename().string();
    if (name == copy.filename().string() || name.rfind("lib", 0) != 0 || name.find(".so") == std::string::npos) continue;
    std::error_code link_error;
    fs::create_symlink(entry.path(), fs::path(folder_) / name, link_error);
    if (link_error) {
      error = "cannot link " + entry.path().string() + " into " + folder_ + ": " + link_error.message();
      remove();
      return false;
    }
  }
  std::ofstream ini(fs::path(folder_) / ini_name);
  ini << ini_text;
  ini.close();
  if (!ini) {
    error = "cannot write " + ini_name + " in " + folder_;
    remove();
    return false;
  }
  path_ = copy.string();
  return true;
}

std::string shell_ini_text(kernel_version version) {
  return "[bt_kernel]\nversion=" + std::to_string(version.major) + '.' + std::to_string(version.minor) + '\n';
}

}  // namespace btshell
