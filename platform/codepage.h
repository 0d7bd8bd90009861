// Code-page conversion with the Win32 semantics the module relies on.
//
// UTF-8 (65001) is converted by hand; every other code page goes through
// iconv ("CP" + number, with a few named exceptions). The ANSI code page
// (CP_ACP) is a process setting of this layer, 65001 unless the host or a
// test sets another.
#pragma once

#include "platform/types.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;

// Converts srclen bytes (-1: up to and including the NUL) of code page `cp`
// into UTF-16. With dstlen 0 returns the units needed. Returns 0 on failure
// and sets the last error: ERROR_NO_UNICODE_TRANSLATION for invalid input
// when MB_ERR_INVALID_CHARS is given (otherwise invalid input becomes
// U+FFFD), ERROR_INSUFFICIENT_BUFFER when dst is too small,
// ERROR_INVALID_PARAMETER for an unknown code page or bad arguments.
int MultiByteToWideChar(UINT cp, DWORD flags, const char* src, int srclen, WCHAR* dst, int dstlen);

// Converts srclen UTF-16 units (-1: up to and including the NUL) into code
// page `cp`. A character the code page lacks is replaced, one by one, by
// `default_char` ("?" when null); *used_default tells whether that happened.
// With dstlen 0 returns the bytes needed. For UTF-8, `default_char` must be
// null and unpaired surrogates become U+FFFD. Failures as above.
int WideCharToMultiByte(UINT cp, DWORD flags, const WCHAR* src, int srclen, char* dst, int dstlen,
                        const char* default_char, BOOL* used_default);

// The process's ANSI code page.
UINT GetACP();

namespace platform {
void set_ansi_code_page(UINT cp);
}  // namespace platform
