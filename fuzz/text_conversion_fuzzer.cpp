// The UTF-8 decoder, the code-page character iterator and the code-page
// conversions on arbitrary text. The first input byte picks the text's code
// page, the second the ANSI code page; the rest is the text.
//
// Properties: only the documented exceptions leave the iterators; walking a
// valid text visits its characters once and covers its bytes; well-formed
// UTF-8 survives the trip through UTF-16 unchanged, and any UTF-16 does too
// (unpaired surrogates becoming U+FFFD); a conversion that fails leaves the
// text as it was; percent-encoding leaves only unreserved characters and
// %XX escapes.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/common_char_iterator.h"
#include "common/url_object.h"
#include "common/utf_8_decoder.h"
#include "fuzz/fuzz_support.h"
#include "platform/codepage.h"
#include "platform/mlang.h"

namespace {

constexpr UINT kCodePages[] = {CP_UTF8, 1252, 936, 950, 932, 949, 1251, 20127, 54936, 28591};
constexpr std::size_t kCodePageCount = sizeof(kCodePages) / sizeof(kCodePages[0]);

std::size_t text_end(const std::string& text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string::npos ? text.size() : nul;
}

// Walks the text from reset() to at_end(); the bytes the walk covered.
int walk(character_iterator& it, int length) {
  const int count = it.reset();
  int bytes = 0;
  int steps = 0;
  while (!it.at_end()) {
    const int step = it.next();
    FUZZ_CHECK(step >= 0);
    bytes += step;
    FUZZ_CHECK(++steps <= count && bytes <= length);
  }
  return bytes;
}

void check_utf8_decoder(const std::string& text) {
  const int length = static_cast<int>(text.size());
  utf_8_decoder decoder(text.data(), length);
  const bool valid = decoder.valid();
  try {
    decoder.count();
    FUZZ_CHECK(valid);
  } catch (const std::runtime_error&) {
    FUZZ_CHECK(!valid);
  }
  if (valid) FUZZ_CHECK(walk(decoder, length) == static_cast<int>(text_end(text)));

  char out[4096];
  try {
    decoder.to_multibyte(out, 0);
    FUZZ_CHECK(false);
  } catch (const std::logic_error&) {
  }
  try {
    const int written = decoder.to_multibyte(out, sizeof out);
    FUZZ_CHECK(written >= 0 && written <= static_cast<int>(sizeof out));
    if (!valid) FUZZ_CHECK(written == 0);
  } catch (const std::runtime_error&) {
  }
}

void check_char_iterator(UINT code_page, const std::string& text) {
  const int length = static_cast<int>(text.size());
  try {
    common_char_iterator it(code_page, text.data(), length);
    walk(it, length);
    char out[4096];
    const int written = it.to_multibyte(out, sizeof out);
    FUZZ_CHECK(written >= 0 && written <= static_cast<int>(sizeof out));
  } catch (const std::runtime_error&) {
  }
}

std::u16string to_utf16(UINT code_page, DWORD flags, const std::string& text) {
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(code_page, flags, text.data(), length, nullptr, 0);
  if (needed == 0) return std::u16string();
  std::u16string wide(static_cast<std::size_t>(needed), u'\0');
  FUZZ_CHECK(MultiByteToWideChar(code_page, flags, text.data(), length, wide.data(), needed) == needed);
  return wide;
}

std::string from_utf16(UINT code_page, const std::u16string& wide) {
  const char* replacement = code_page == CP_UTF8 ? nullptr : "_";
  const int units = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(code_page, 0, wide.data(), units, nullptr, 0, replacement, nullptr);
  if (needed == 0) return std::string();
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  FUZZ_CHECK(WideCharToMultiByte(code_page, 0, wide.data(), units, narrow.data(), needed, replacement, nullptr) ==
             needed);
  return narrow;
}

void check_conversions(UINT code_page, const std::string& text) {
  if (text.empty()) return;
  to_utf16(code_page, 0, text);
  const std::u16string strict = to_utf16(code_page, MB_ERR_INVALID_CHARS, text);
  if (code_page == CP_UTF8) {
    FUZZ_CHECK(strict.empty() != platform::is_well_formed_utf8(text.data(), text.size(), nullptr));
    if (!strict.empty()) FUZZ_CHECK(from_utf16(CP_UTF8, strict) == text);
  } else if (!strict.empty()) {
    from_utf16(code_page, strict);
  }

  // The bytes read as UTF-16 units.
  std::u16string units(text.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(text[2 * i]) |
                                     (static_cast<unsigned char>(text[2 * i + 1]) << 8));
  if (units.empty()) return;
  std::u16string expected = units;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const char16_t u = expected[i];
    const bool pair = u >= 0xD800 && u <= 0xDBFF && i + 1 < expected.size() && expected[i + 1] >= 0xDC00 &&
                      expected[i + 1] <= 0xDFFF;
    if (pair) {
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      expected[i] = 0xFFFD;
    }
  }
  FUZZ_CHECK(to_utf16(CP_UTF8, MB_ERR_INVALID_CHARS, from_utf16(CP_UTF8, units)) == expected);
  from_utf16(code_page, units);
}

void check_text_helpers(UINT code_page, const std::string& text) {
  std::string converted = text;
  utf8_to_gb2312(converted);
  for (bool (*convert)(std::string&) : {to_utf8, to_cpacp}) {
    converted = text;
    if (!convert(converted)) FUZZ_CHECK(converted == text);
  }
  std::string encoded = text;
  if (!encode_use(encoded, code_page)) {
    FUZZ_CHECK(encoded == text);
    return;
  }
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    if (c == '%') {
      const std::string hex = encoded.substr(i + 1, 2);
      FUZZ_CHECK(hex.size() == 2 && hex.find_first_not_of("0123456789ABCDEF") == std::string::npos);
      i += 2;
    } else {
      FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || c == '.' || c == '~');
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::init_logging(log4cplus::TRACE_LOG_LEVEL);
  fuzz::init_text_services(CP_UTF8);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 1 << 16) return 0;
  const UINT code_page = kCodePages[data[0] % kCodePageCount];
  platform::set_ansi_code_page(kCodePages[data[1] % kCodePageCount]);
  const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);

  check_utf8_decoder(text);
  check_char_iterator(code_page, text);
  check_conversions(code_page, text);
  check_text_helpers(code_page, text);
  return 0;
}
