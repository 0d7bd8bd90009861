// A private copy of a module in a fresh temporary folder, with its settings
// file beside it: the plugin module with a bt_shell.ini naming the kernel
// version the shell asks for (the module reads its file from its own
// folder), and links to the libraries beside the module (lib*.so*), which
// it finds through $ORIGIN. The folder and all in it go with the object.
#pragma once

#include <string>

#include "host/btshell/command_line.h"

namespace btshell {

class staged_module {
 public:
  staged_module() = default;
  ~staged_module();
  staged_module(const staged_module&) = delete;
  staged_module& operator=(const staged_module&) = delete;

  // Copies `module` and writes `ini_text` beside it as `ini_name`. False
  // (with `error` set and nothing left behind) when that fails.
  bool create(const std::string& module, const std::string& ini_name, const std::string& ini_text,
              std::string& error);
  // The copy and its folder; empty before create().
  const std::string& path() const { return path_; }
  const std::string& folder() const { return folder_; }

 private:
  void remove();

  std::string folder_;
  std::string path_;
};

// bt_shell.ini asking for `version`.
std::string shell_ini_text(kernel_version version);

}  // namespace btshell
