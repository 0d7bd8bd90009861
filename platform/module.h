// The module object: its lock count, and where a code address lives on disk.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

// Lock count of the module this code is linked into. Raised by every live
// COM object of the module and by LockServer(TRUE); the module may be
// unloaded only when it is 0.
LONG module_lock();
LONG module_unlock();
LONG module_lock_count();

// The file and load base of the module (shared object or executable) that
// contains `address`. False when the address lies in no loaded module.
bool module_from_address(const void* address, std::string& path, std::uintptr_t& base);

}  // namespace platform
