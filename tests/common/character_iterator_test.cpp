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

class character_iterators : public ::testing::Test {
 protected:
  void TearDown() override { platform::set_ansi_code_page(CP_UTF8); }
};

TEST_F(character_iterators, utf8_walk) {
  struct { std::string text; int count; std::vector<int> lengths; } cases[] = {
      {"A\xC3\xA9" "B", 3, {1, 2, 1}},
      {"\xE4\xB8\xAD\xF0\x9F\x98\x80x", 3, {3, 4, 1}},
      {std::string("a\0b", 3), 1, {1}},
      {"", 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    utf_8_decoder it(c.text.data(), static_cast<int>(c.text.size()));
    EXPECT_TRUE(it.valid());
    EXPECT_EQ(it.count(), c.count);
    EXPECT_EQ(walk(it), c.lengths);
  }
}

TEST_F(character_iterators, utf8_invalid_text) {
  for (const std::string text : {"\xC3" "A", "\xE4\xB8", "ab\xF0\x9F\x98"}) {
    SCOPED_TRACE(text);
    utf_8_decoder it(text.data(), static_cast<int>(text.size()));
    EXPECT_FALSE(it.valid());
    EXPECT_EQ(thrown_text([&] { it.count(); }), "not utf-8");
    char out[16];
    EXPECT_EQ(it.to_multibyte(out, sizeof(out)), 0);
  }
  // A malformed continuation byte does not advance.
  const std::string text = "\xC3" "A";
  utf_8_decoder it(text.data(), 2);
  EXPECT_EQ(it.next(), 1);
  EXPECT_EQ(it.next(), 1);
}

TEST_F(character_iterators, utf8_to_multibyte) {
  const std::string text = "caf\xC3\xA9";
  utf_8_decoder it(text.data(), static_cast<int>(text.size()));
  char out[16];
  EXPECT_EQ(thrown_text([&] { it.to_multibyte(out, 0); }), "destination buffer error");
  EXPECT_THROW(it.to_multibyte(out, 0), std::logic_error);
  platform::set_ansi_code_page(1252);
  ASSERT_EQ(it.to_multibyte(out, sizeof(out)), 4);
  EXPECT_EQ(std::string(out, 4), "caf\xE9");
  EXPECT_EQ(thrown_text([&] { it.to_multibyte(out, 2); }), "WideCharToMultiByte call error, code:122");
}

TEST_F(character_iterators, code_page_walk_and_failures) {
  const std::string gbk = "a\xD6\xD0" "b";
  common_char_iterator it(936, gbk.data(), static_cast<int>(gbk.size()));
  EXPECT_TRUE(it.valid());
  EXPECT_EQ(it.count(), 3);
  EXPECT_EQ(walk(it), (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(it.next(), 0);
  char out[16];
  ASSERT_EQ(it.to_multibyte(out, sizeof(out)), 5);
  EXPECT_EQ(std::string(out, 5), "a\xE4\xB8\xAD" "b");

  const std::string latin = "x\xE9";
  common_char_iterator one_byte(1252, latin.data(), 2);
  EXPECT_EQ(walk(one_byte), (std::vector<int>{1, 1}));
  // 1024 characters fit; 1025 do not.
  const std::string longer(1025, 'a');
  EXPECT_EQ(common_char_iterator(1252, longer.data(), 1024).count(), 1024);
  EXPECT_EQ(thrown_text([&] { common_char_iterator c(1252, longer.data(), 1025); }),
            "MultiByteToWideChar call error, code:122");
  EXPECT_EQ(thrown_text([&] { common_char_iterator c(12345, "a", 1); }), "MultiByteToWideChar call error, code:87");
}

}  // namespace
