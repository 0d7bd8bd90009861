// Text records passed across the module's interfaces.
#pragma once

#include <string>

#include "platform/types.h"

// One narrow text in the ANSI code page, passed by value: `len` bytes at
// `ptr`, not necessarily NUL-terminated; `ptr` may be null when `len` is 0.
// A receiver copies exactly `len` bytes.
struct tagSTRING {
  ULONG len;
  const char* ptr;
};

// `count` records at `items` (null when `count` is 0).
struct tagSTRING_ARRAY {
  ULONG count;
  tagSTRING* items;
};

// The bytes of a text record (empty for a null pointer).
inline std::string to_std_string(const tagSTRING& s) {
  return s.len && s.ptr ? std::string(s.ptr, s.len) : std::string();
}

// A text record over `s`, valid while `s` lives unchanged.
inline tagSTRING to_tag_string(const std::string& s) { return tagSTRING{static_cast<ULONG>(s.size()), s.c_str()}; }
