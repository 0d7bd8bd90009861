// Calls a host is not supposed to make, and how the module answers them.
//
// Each is answered with the code of its row and one ERROR line
// "[object]operation: text"; nothing else is done. The table is in
// host_misuse.cpp (and in docs/robustness.md).
#pragma once

#include <log4cplus/logger.h>

#include "platform/winerror.h"

enum class host_misuse {
  null_pointer,                 // a pointer the operation writes through or reads is null
  count_without_list,           // a non-zero count comes with a null list
  after_uninit,                 // an operation that needs the host, after the plugin's Uninit
  init_without_host,            // Init(NULL)
  init_twice,                   // Init again on the plugin that holds the module
  init_while_held_by_another,   // Init on a plugin while another one holds the module
  uninit_without_init,          // Uninit on a plugin that does not hold the module
  released_without_uninit,      // the last Release of a plugin that still holds the module
};

HRESULT answer_host_misuse(const log4cplus::Logger& logger, const void* object, const char* operation,
                           host_misuse misuse);
