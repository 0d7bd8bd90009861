// RaiseException: a non-continuable structured exception becomes a C++
// throw of platform::structured_exception.
//
// It deliberately does not derive from std::exception, so that ordinary
// handlers do not swallow it; nothing in the module catches it.
#pragma once

#include <string>

#include "platform/types.h"

constexpr DWORD EXCEPTION_NONCONTINUABLE = 0x1;

namespace platform {

struct structured_exception {
  DWORD code;
  DWORD flags;
  std::string text;
};

[[noreturn]] void raise_exception(DWORD code, DWORD flags, std::string text);

}  // namespace platform

// Win32 form: the first argument, when given, is the address of a
// NUL-terminated text that the exception carries.
[[noreturn]] void RaiseException(DWORD code, DWORD flags, DWORD nargs, const ULONG_PTR* args);
