// The boundary (com_boundary.h) of the module's COM plumbing: the exported
// entry points and the class factory, logged as the plugin's.
#pragma once

#include "com_utility/com_boundary.h"

log4cplus::Logger& module_logger();

template <class Body>
HRESULT module_boundary(const void* object, const char* operation, Body&& body) {
  return com_boundary(module_logger(), object, operation, body);
}
