#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/winerror.h"

namespace {

struct acp_guard {
  explicit acp_guard(UINT cp) : saved(GetACP()) { platform::set_ansi_code_page(cp); }
  ~acp_guard() { platform::set_ansi_code_page(saved); }
  UINT saved;
};

std::u16string to_wide(UINT cp, const std::string& in, DWORD flags = 0) {
  int n = MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), nullptr, 0);
  if (n == 0) return u"<fail>";
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  EXPECT_EQ(n, MultiByteToWideChar(cp, flags, in.data(), static_cast<int>(in.size()), out.data(), n));
  return out;
}

std::string to_narrow(UINT cp, const std::u16string& in, const char* def = nullptr, BOOL* used = nullptr) {
  int n = WideCharToMultiByte(cp, 0, in.data(), static_cast<int>(in.size()), nullptr, 0, def, used);
  if (n == 0) return "<fail>";
  std::string out(static_cast<std::size_t>(n), '\0');
  EXPECT_EQ(n, WideCharToMultiByte(cp, 0, in.data(), static_cast<int>(in.size()), out.data(), n, def, used));
  return out;
}

TEST(CodePage, BothWaysThroughUtf16) {
  const struct { UINT cp; std::string narrow; std::u16string wide; } cases[] = {
      // a, e-acute, a CJK ideograph, an emoji
      {CP_UTF8, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", {u'a', 0x00E9, 0x4E2D, 0xD83D, 0xDE00}},
      {936, "\xD6\xD0\xCE\xC4", {0x4E2D, 0x6587}},  // two ideographs in GBK
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_wide(c.cp, c.narrow), c.wide) << c.cp;
    EXPECT_EQ(to_narrow(c.cp, c.wide), c.narrow) << c.cp;
  }
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

TEST(CodePage, Utf8ToAnsi1252AndUnmappableReplacedOneByOne) {
  EXPECT_EQ(GetACP(), CP_UTF8);  // unless set
  acp_guard g(1252);
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(to_narrow(CP_ACP, to_wide(CP_UTF8, "\xC3\xA9")), "\xE9");
  BOOL used = FALSE;
  // Two CJK ideographs and an emoji between ASCII: one "_" per character.
  EXPECT_EQ(to_narrow(CP_ACP, to_wide(CP_UTF8, "x\xE4\xB8\xAD\xE6\x96\x87y\xF0\x9F\x98\x80"), "_", &used), "x__y_");
  EXPECT_TRUE(used);
  used = TRUE;
  EXPECT_EQ(to_narrow(CP_ACP, u"plain", "_", &used), "plain");
  EXPECT_FALSE(used);
}

}  // namespace
