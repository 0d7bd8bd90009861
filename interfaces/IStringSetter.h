// Setters through which a callee hands text back into a caller's own string
// or string vector.
#pragma once

#include "interfaces/string_types.h"
#include "platform/unknwn.h"

// {83A323B1-3B99-496F-91BE-5786FC213443}
inline constexpr IID IID_IStringSetter = {0x83A323B1, 0x3B99, 0x496F, {0x91, 0xBE, 0x57, 0x86, 0xFC, 0x21, 0x34, 0x43}};
// {93526DD3-B4DB-4B1B-AAF9-41028E847426}
inline constexpr IID IID_IStringArraySetter = {0x93526DD3, 0xB4DB, 0x4B1B, {0xAA, 0xF9, 0x41, 0x02, 0x8E, 0x84, 0x74, 0x26}};

struct IStringSetter : IUnknown {
  // slot 3: stores exactly `len` bytes of `data` into the caller's string.
  virtual HRESULT STDMETHODCALLTYPE SetString(ULONG len, const char* data) = 0;
};

struct IStringArraySetter : IUnknown {
  // slot 3: replaces the caller's vector with one string per item.
  virtual HRESULT STDMETHODCALLTYPE SetStringArray(tagSTRING_ARRAY array) = 0;
};
