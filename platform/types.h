// Fixed-width stand-ins for the Windows base types.
//
// 32-bit quantities are always 32 bits, whatever the data model: never use
// `long` or `unsigned long` for values that cross the module's interfaces.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using USHORT = std::uint16_t;
using WORD = std::uint16_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using INT = std::int32_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
// Values the module only passes on: 32 bits on a 32-bit target, pointer
// wide on a 64-bit one so that a host may pass pointers through them.
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
// UTF-16 code unit, as the Windows wide-character functions use it.
using WCHAR = char16_t;
using LPOLESTR = WCHAR*;
using LPCOLESTR = const WCHAR*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Calling convention marker of interface methods; the default one on POSIX.
#define STDMETHODCALLTYPE
