// Where btshell finds the modules of its own build tree, or of the installed
// tree it runs from: paths relative to the folder of the running executable
// (/proc/self/exe), so that either tree keeps working wherever it is moved.
#pragma once

#include <string>

namespace btshell {

// The kernel modules of btshell's tree, each libbt_kernel.so in a folder of
// its own: the kernel on libtorrent, and the recording kernel (the test
// double that shows what reaches a kernel).
enum class kernel_module { libtorrent, recording };

// The folder of the running executable; empty when it cannot be read.
std::string executable_dir();

// <executable dir>/<relative path of libbt_shell.so>, normalised: the build
// tree's when its module is there or the installed tree's is not.
std::string default_module_path();
// <executable dir>/<relative folder of that kernel's libbt_kernel.so>,
// normalised, in the same tree.
std::string default_modules_dir(kernel_module kernel = kernel_module::libtorrent);

}  // namespace btshell
