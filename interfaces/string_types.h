// Text records passed across the module's interfaces.
#pragma once

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
