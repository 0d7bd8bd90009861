#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/winerror.h"

namespace {

std::u16string to_wide(UINT cp, const std::string& in, DWORD flags = 0) {
  int n = MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), nullptr, 0);
  if (n == 0) return u"<fail>";
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  EXPECT_EQ(n, MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), out.data(), n));
  return out;
}

// Both ways through UTF-16 (the ANSI code pages 1252 and 936 are read through
// the seed parser's names and the URL helpers' conversions).
TEST(CodePage, Utf8BothWaysThroughUtf16) {
  const std::string narrow = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // a, e-acute, a CJK ideograph, an emoji
  const std::u16string wide = {u'a', 0x00E9, 0x4E2D, 0xD83D, 0xDE00};
  EXPECT_EQ(to_wide(CP_UTF8, narrow), wide);
  std::string back(narrow.size(), '\0');
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide.data(), 5, back.data(), static_cast<int>(back.size()), nullptr, nullptr),
            static_cast<int>(narrow.size()));
  EXPECT_EQ(back, narrow);
}

TEST(CodePage, InvalidUtf8BufferSizesAndArguments) {
  const std::string bad[] = {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\x80"};
  for (const auto& b : bad) {
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, b.data(), static_cast<int>(b.size()), nullptr, 0))
        << b.size();
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  }
  EXPECT_EQ(to_wide(CP_UTF8, "a\x80"), (std::u16string{u'a', 0xFFFD}));
  WCHAR small[2];
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", 3, small, 2));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  // -1 counts the terminating NUL.
  EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0));
  EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(0, MultiByteToWideChar(99999, 0, "abc", 3, nullptr, 0));
  // UTF-8 takes no replacement character.
  EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"a", 1, nullptr, 0, "_", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
