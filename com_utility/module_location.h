// Where the module lives on disk, and which module an interface's code
// comes from (for log lines about event sinks).
#pragma once

#include <string>

#include "platform/unknwn.h"

// Full file name of the module that holds this code; empty when unknown.
std::string get_module_path();
// get_module_path() up to and including its last separator; empty when
// the path is empty or has no separator.
std::string get_module_dir();
// The part of get_module_path() after its last separator; empty as above.
std::string get_module_file_name();

// "file:0xBASE[OFFSET]" for the function in slot `slot` of the interface's
// table: the file name of the module holding it, the module's load base and
// the function's offset from it. "Bad IUnknown:0xPOINTER" when the function
// lies in no module. Addresses are printed with at least eight upper-case
// hexadecimal digits (more on a 64-bit target).
std::string get_interface_location(IUnknown* unknown, int slot);
