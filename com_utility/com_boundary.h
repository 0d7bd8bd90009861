// The boundary of the module's interface methods and exported functions: no
// C++ exception leaves the module through them.
//
// Memory running out (std::bad_alloc) is answered with E_OUTOFMEMORY, any
// other standard exception with E_FAIL, each with one ERROR line
// "[object]operation: reason". The release assertion
// (platform::structured_exception) is no standard exception and passes on:
// a broken invariant is not an answer.
//
// A body leaves nothing half-made when it throws: it allocates what it needs
// before it changes anything that outlives the call.
#pragma once

#include <log4cplus/logger.h>

#include <exception>
#include <new>

#include "platform/winerror.h"

// Runs a logging statement; a line that cannot be made (memory short) is
// left out, so that logging never changes what an operation does.
template <class Write>
void log_quietly(Write&& write) noexcept {
  try {
    write();
  } catch (...) {
    // The line is left out.
  }
}

// The ERROR line of an operation ended by an exception.
void log_boundary_failure(const log4cplus::Logger& logger, const void* object, const char* operation,
                          const char* reason) noexcept;

// Runs `body` (returning an HRESULT) as the whole of `operation` of `object`.
template <class Body>
HRESULT com_boundary(const log4cplus::Logger& logger, const void* object, const char* operation, Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    log_boundary_failure(logger, object, operation, "out of memory");
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    log_boundary_failure(logger, object, operation, e.what());
    return E_FAIL;
  }
}
