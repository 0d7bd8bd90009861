#include "com_utility/StringSetter.h"

#include <gtest/gtest.h>

#include "com_utility/string_array_ex.h"

namespace {

// (Their QueryInterface is the shared one for single-interface objects,
// tested with the built-in MLang detector; their counting is the
// single-threaded base's.)
TEST(StringSetter, SetsExactlyTheGivenBytesAndReplacesTheVector) {
  std::string target = "previous";
  auto* setter = new CStringSetter(&target);
  EXPECT_EQ(setter->SetString(4, std::string("a\0b\0cd", 6).data()), S_OK);
  EXPECT_EQ(target, std::string("a\0b\0", 4));
  EXPECT_EQ(setter->SetString(0, nullptr), S_OK);
  EXPECT_TRUE(target.empty());
  EXPECT_EQ(setter->Release(), 0u);

  std::vector<std::string> targets = {"old"};
  auto* array_setter = new CStringArraySetter(&targets);
  tagSTRING items[] = {{2, "abX"}, {0, nullptr}, {3, "xyz"}};
  EXPECT_EQ(array_setter->SetStringArray(tagSTRING_ARRAY{3, items}), S_OK);
  EXPECT_EQ(targets, (std::vector<std::string>{"ab", "", "xyz"}));
  EXPECT_EQ(array_setter->SetStringArray(tagSTRING_ARRAY{0, nullptr}), S_OK);
  EXPECT_TRUE(targets.empty());
  EXPECT_EQ(array_setter->Release(), 0u);
}

TEST(StringArrayEx, CopiesOrPointsIntoTheVector) {
  const std::vector<std::string> strings = {"", "ab"};
  {
    STRING_ARRAY_EX copied(strings, true);
    ASSERT_EQ(copied.count, 2u);
    EXPECT_EQ(copied.items[0].len, 0u);
    EXPECT_EQ(copied.items[0].ptr, nullptr);
    EXPECT_EQ(copied.items[1].len, 2u);
    EXPECT_NE(copied.items[1].ptr, strings[1].data());
    EXPECT_EQ(std::string(copied.items[1].ptr, 3), std::string("ab\0", 3));
  }
  STRING_ARRAY_EX shared(strings, false);
  EXPECT_EQ(shared.items[1].ptr, strings[1].c_str());
  STRING_ARRAY_EX empty(std::vector<std::string>{}, true);
  EXPECT_EQ(empty.count, 0u);
  EXPECT_EQ(empty.items, nullptr);
}

}  // namespace
