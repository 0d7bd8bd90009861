// A private copy of the plugin module in a fresh temporary folder, with a
// bt_shell.ini beside it naming the kernel version the shell asks for (the
// shell reads that file from its own module's folder). The folder and all
// in it go with the object.
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

  // Copies `module` and writes the ini file. False (with `error` set and
  // nothing left behind) when that fails.
  bool create(const std::string& module, kernel_version version, std::string& error);
  // The copy; empty before create().
  const std::string& path() const { return path_; }

 private:
  void remove();

  std::string folder_;
  std::string path_;
};

}  // namespace btshell
