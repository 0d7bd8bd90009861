#include "platform/codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/winerror.h"

namespace {

std::atomic<UINT> g_ansi_code_page{CP_UTF8};

constexpr char32_t kReplacement = 0xFFFD;

UINT resolve(UINT cp) { return cp == CP_ACP ? GetACP() : cp; }

// The iconv name of a Windows code page.
std::string iconv_name(UINT cp) {
  switch (cp) {
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 54936: return "GB18030";
    case 51932: return "EUC-JP";
    case 51949: return "EUC-KR";
    case 950: return "BIG5";
    default: break;
  }
  if (cp >= 28591 && cp <= 28606) return "ISO-8859-" + std::to_string(cp - 28590);
  return "CP" + std::to_string(cp);
}

class iconv_handle {
 public:
  iconv_handle(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~iconv_handle() {
    if (ok()) iconv_close(cd_);
  }
  iconv_handle(const iconv_handle&) = delete;
  iconv_handle& operator=(const iconv_handle&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

void append_utf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// Length of the well-formed UTF-8 sequence at s (at most n bytes) and its
// code point; 0 when the bytes there are not a well-formed sequence.
int decode_utf8(const unsigned char* s, std::size_t n, char32_t& cp) {
  const unsigned char b = s[0];
  if (b < 0x80) {
    cp = b;
    return 1;
  }
  int len;
  char32_t min;
  if ((b & 0xE0) == 0xC0) {
    len = 2, cp = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, cp = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, cp = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (n < static_cast<std::size_t>(len)) return 0;
  for (int i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

bool utf8_to_utf16(const char* src, std::size_t n, DWORD flags, std::u16string& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  std::size_t i = 0;
  while (i < n) {
    char32_t cp;
    int len = decode_utf8(s + i, n - i, cp);
    if (len == 0) {
      if (flags & MB_ERR_INVALID_CHARS) return false;
      append_utf16(out, kReplacement);
      ++i;
      continue;
    }
    append_utf16(out, cp);
    i += static_cast<std::size_t>(len);
  }
  return true;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Units of the character at s[i]: 2 for a surrogate pair, else 1; the code
// point, with an unpaired surrogate reported as such.
std::size_t next_char16(const char16_t* s, std::size_t n, std::size_t i, char32_t& cp) {
  const char16_t u = s[i];
  if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
    cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
    return 2;
  }
  cp = u;
  return 1;
}

void utf16_to_utf8(const char16_t* src, std::size_t n, std::string& out) {
  for (std::size_t i = 0; i < n;) {
    char32_t cp;
    i += next_char16(src, n, i, cp);
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = kReplacement;
    append_utf8(out, cp);
  }
}

// Runs iconv over the whole input; `on_invalid` is called for each input
// position iconv refuses and returns how many input bytes to skip there
// (0 to give up).
template <class OnInvalid>
bool run_iconv(iconv_t cd, const char* in, std::size_t n, std::string& out, OnInvalid on_invalid) {
  char buf[4096];
  auto* inp = const_cast<char*>(in);
  std::size_t left = n;
  while (left > 0) {
    char* outp = buf;
    std::size_t room = sizeof buf;
    std::size_t r = iconv(cd, &inp, &left, &outp, &room);
    out.append(buf, static_cast<std::size_t>(outp - buf));
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    std::size_t skip = on_invalid(static_cast<std::size_t>(inp - in));
    if (skip == 0 || skip > left) return false;
    inp += skip;
    left -= skip;
  }
  return true;
}

bool multibyte_to_utf16(UINT cp, DWORD flags, const char* src, std::size_t n, std::u16string& out) {
  if (cp == CP_UTF8) return utf8_to_utf16(src, n, flags, out);
  iconv_handle cd("UTF-16LE", iconv_name(cp));
  if (!cd.ok()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::string bytes;
  const bool ok = run_iconv(cd.get(), src, n, bytes, [&](std::size_t) -> std::size_t {
    if (flags & MB_ERR_INVALID_CHARS) return 0;
    bytes.append("\xFD\xFF", 2);  // U+FFFD, little-endian
    return 1;
  });
  if (!ok) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return true;
}

bool utf16_to_multibyte(UINT cp, const char16_t* src, std::size_t n, const char* default_char,
                        std::string& out, bool& used_default) {
  iconv_handle cd(iconv_name(cp), "UTF-16LE");
  if (!cd.ok()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::string le;
  le.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    le.push_back(static_cast<char>(src[i] & 0xFF));
    le.push_back(static_cast<char>(src[i] >> 8));
  }
  const std::string replacement = default_char ? std::string(default_char) : std::string("?");
  return run_iconv(cd.get(), le.data(), le.size(), out, [&](std::size_t at) -> std::size_t {
    // Replace the one character iconv refused, then carry on after it.
    char32_t cp32;
    const std::size_t units = next_char16(src, n, at / 2, cp32);
    out += replacement;
    used_default = true;
    return units * 2;
  });
}

// Shared argument checks and the final copy of both conversions.
template <class Str, class T>
int deliver(const Str& result, T* dst, int dstlen) {
  if (dstlen == 0) return static_cast<int>(result.size());
  if (result.size() > static_cast<std::size_t>(dstlen)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, result.data(), result.size() * sizeof(T));
  return static_cast<int>(result.size());
}

}  // namespace

UINT GetACP() { return g_ansi_code_page.load(); }

namespace platform {
void set_ansi_code_page(UINT cp) { g_ansi_code_page.store(cp == CP_ACP ? CP_UTF8 : cp); }
}  // namespace platform

int MultiByteToWideChar(UINT cp, DWORD flags, const char* src, int srclen, WCHAR* dst, int dstlen) {
  if (!src || srclen == 0 || srclen < -1 || dstlen < 0 || (dstlen > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::size_t n = srclen == -1 ? std::strlen(src) + 1 : static_cast<std::size_t>(srclen);
  std::u16string result;
  if (!multibyte_to_utf16(resolve(cp), flags, src, n, result)) {
    if (GetLastError() == ERROR_SUCCESS || cp == CP_UTF8 || resolve(cp) == CP_UTF8)
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return deliver(result, dst, dstlen);
}

int WideCharToMultiByte(UINT cp, DWORD flags, const WCHAR* src, int srclen, char* dst, int dstlen,
                        const char* default_char, BOOL* used_default) {
  if (!src || srclen == 0 || srclen < -1 || dstlen < 0 || (dstlen > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t n = 0;
  if (srclen == -1) {
    while (src[n]) ++n;
    ++n;
  } else {
    n = static_cast<std::size_t>(srclen);
  }
  const UINT target = resolve(cp);
  std::string result;
  bool replaced = false;
  if (target == CP_UTF8) {
    if (default_char || used_default) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    utf16_to_utf8(src, n, result);
  } else if (!utf16_to_multibyte(target, src, n, default_char, result, replaced)) {
    return 0;
  }
  if (used_default) *used_default = replaced ? TRUE : FALSE;
  return deliver(result, dst, dstlen);
}
