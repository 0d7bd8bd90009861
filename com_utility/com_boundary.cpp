#include "com_utility/com_boundary.h"

#include <log4cplus/loggingmacros.h>

void log_boundary_failure(const log4cplus::Logger& logger, const void* object, const char* operation,
                          const char* reason) noexcept {
  log_quietly([&] { LOG4CPLUS_ERROR(logger, "[" << object << "]" << operation << ": " << reason); });
}
