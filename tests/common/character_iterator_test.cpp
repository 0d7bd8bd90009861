// The character iterators behind encode_use (whose percent-encoding test
// walks them on UTF-8, GBK and code page 1252 text): lengths, invalid text
// and the limits of their conversion buffers.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/common_char_iterator.h"
#include "common/utf_8_decoder.h"
#include "platform/codepage.h"

namespace {

std::vector<int> walk(character_iterator& it) {
  std::vector<int> lengths;
  it.reset();
  while (!it.at_end()) lengths.push_back(it.next());
  return lengths;
}

std::string thrown_text(const std::function<void()>& what) {
  try {
    what();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

TEST(CharacterIterators, Utf8LengthsInvalidTextAndBuffers) {
  const std::string text = "\xE4\xB8\xAD\xF0\x9F\x98\x80x";
  utf_8_decoder it(text.data(), static_cast<int>(text.size()));
  EXPECT_EQ(it.count(), 3);
  EXPECT_EQ(walk(it), (std::vector<int>{3, 4, 1}));
  const std::string nul("a\0b", 3);
  EXPECT_EQ(utf_8_decoder(nul.data(), 3).count(), 1);  // ends at the NUL

  for (const std::string bad : {"\xC3" "A", "ab\xF0\x9F\x98"}) {
    utf_8_decoder invalid(bad.data(), static_cast<int>(bad.size()));
    EXPECT_FALSE(invalid.valid());
    EXPECT_EQ(thrown_text([&] { invalid.count(); }), "not utf-8");
    char out[16];
    EXPECT_EQ(invalid.to_multibyte(out, sizeof(out)), 0);
  }

  const std::string cafe = "caf\xC3\xA9";
  utf_8_decoder word(cafe.data(), static_cast<int>(cafe.size()));
  char out[16];
  EXPECT_EQ(thrown_text([&] { word.to_multibyte(out, 0); }), "destination buffer error");
  platform::set_ansi_code_page(1252);
  ASSERT_EQ(word.to_multibyte(out, sizeof(out)), 4);
  EXPECT_EQ(std::string(out, 4), "caf\xE9");
  EXPECT_EQ(thrown_text([&] { word.to_multibyte(out, 2); }), "WideCharToMultiByte call error, code:122");
  platform::set_ansi_code_page(CP_UTF8);
}

TEST(CharacterIterators, CodePageWalkAndItsLimits) {
  const std::string gbk = "a\xD6\xD0" "b";
  common_char_iterator it(936, gbk.data(), static_cast<int>(gbk.size()));
  EXPECT_EQ(walk(it), (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(it.next(), 0);
  // 1024 characters fit; 1025 do not.
  const std::string longer(1025, 'a');
  EXPECT_EQ(common_char_iterator(1252, longer.data(), 1024).count(), 1024);
  EXPECT_EQ(thrown_text([&] { common_char_iterator c(1252, longer.data(), 1025); }),
            "MultiByteToWideChar call error, code:122");
  EXPECT_EQ(thrown_text([&] { common_char_iterator c(12345, "a", 1); }), "MultiByteToWideChar call error, code:87");
}

}  // namespace
