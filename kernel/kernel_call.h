// The kernel module's logger and the boundary of its interface functions.
#pragma once

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <exception>
#include <new>
#include <string>

#include "interfaces/IStringSetter.h"
#include "platform/winerror.h"

// Every line of the kernel module, libtorrent's alerts included, goes to the
// logger "bt_kernel".
log4cplus::Logger& kernel_logger();

// Writes the ERROR line of a failed interface call; never throws.
void log_call_failure(const char* operation, const char* what) noexcept;

// Runs the body of an interface function: nothing thrown inside (running out
// of memory, a libtorrent error) crosses the interface. Memory answers
// E_OUTOFMEMORY, anything else E_FAIL, each with an ERROR line naming
// `operation`.
template <class Body>
HRESULT kernel_call(const char* operation, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    log_call_failure(operation, "out of memory");
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    log_call_failure(operation, e.what());
    return E_FAIL;
  }
}

// The answer of an operation that has no meaning for this kernel: one INFO
// line naming it, and E_NOTIMPL.
HRESULT not_meaningful_here(const char* operation) noexcept;

// Hands `text` to a caller's setter; a null setter takes nothing.
void set_text(IStringSetter* setter, const std::string& text);
